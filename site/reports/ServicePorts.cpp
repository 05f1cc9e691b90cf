#include "reports/ServicePorts.h"

#include <algorithm>

namespace site {

namespace {

constexpr ServicePort kPorts[] = {
    {7, "echo"},          {9, "discard"},        {13, "daytime"},        {21, "ftp"},
    {22, "ssh"},          {23, "telnet"},        {25, "smtp"},           {26, "rsftp"},
    {37, "time"},         {53, "domain"},        {79, "finger"},         {80, "http"},
    {81, "http-alt"},     {88, "kerberos"},      {106, "pop3pw"},        {110, "pop3"},
    {111, "rpcbind"},     {113, "ident"},        {119, "nntp"},          {135, "msrpc"},
    {139, "netbios-ssn"}, {143, "imap"},         {144, "news"},          {179, "bgp"},
    {199, "smux"},        {389, "ldap"},         {427, "svrloc"},        {443, "https"},
    {444, "snpp"},        {445, "microsoft-ds"}, {465, "smtps"},         {513, "login"},
    {514, "shell"},       {515, "printer"},      {543, "klogin"},        {544, "kshell"},
    {548, "afp"},         {554, "rtsp"},         {587, "submission"},    {631, "ipp"},
    {646, "ldp"},         {873, "rsync"},        {990, "ftps"},          {993, "imaps"},
    {995, "pop3s"},       {1025, "ms-rpc"},      {1026, "ms-rpc"},       {1027, "ms-rpc"},
    {1028, "ms-rpc"},     {1029, "ms-rpc"},      {1110, "nfsd-status"},  {1433, "ms-sql"},
    {1720, "h323"},       {1723, "pptp"},        {1755, "mms"},          {1900, "upnp"},
    {2000, "cisco-sccp"}, {2001, "dc"},          {2049, "nfs"},          {2121, "ftp-proxy"},
    {2717, "pn-requester"}, {3000, "http-dev"},  {3128, "squid-http"},   {3306, "mysql"},
    {3389, "rdp"},        {3986, "mapper-ws"},   {4899, "radmin"},       {5000, "upnp"},
    {5009, "airport-admin"}, {5051, "ida-agent"}, {5060, "sip"},         {5101, "admdog"},
    {5190, "aol"},        {5357, "wsdapi"},      {5432, "postgresql"},   {5631, "pcanywhere"},
    {5666, "nrpe"},       {5800, "vnc-http"},    {5900, "vnc"},          {6000, "x11"},
    {6001, "x11"},        {6646, "mcafee"},      {7070, "rtsp-alt"},     {8000, "http-alt"},
    {8008, "http"},       {8009, "ajp13"},       {8080, "http-proxy"},   {8081, "http-alt"},
    {8443, "https-alt"},  {8888, "http-alt"},    {9100, "jetdirect"},    {9999, "abyss"},
    {10000, "webmin"},    {32768, "filenet"},    {49152, "ms-rpc"},      {49153, "ms-rpc"},
    {49154, "ms-rpc"},    {49155, "ms-rpc"},     {49156, "ms-rpc"},      {49157, "ms-rpc"},
};

}  // namespace

std::span<const ServicePort> CommonServicePorts() { return kPorts; }

std::string_view ServiceName(std::uint16_t port) {
  const auto it = std::lower_bound(std::begin(kPorts), std::end(kPorts), port,
                                   [](const ServicePort& entry, std::uint16_t p) { return entry.Port < p; });
  return it != std::end(kPorts) && it->Port == port ? it->Service : std::string_view{};
}

}  // namespace site
