#pragma once
// reports/: the five reports, each built from what the sources bring back.
//
// The five reports, one file each, all of one shape: start with the page's
// context and the target, finish once through `done` by the context's deadline.

#include "base/Report.h"
#include "sources/ReportContext.h"
#include "base/Target.h"

#include <memory>

namespace site {

void DomainRecord(std::shared_ptr<ReportContext> context, const Target& target, ReportDone done);
void DnsRecords(std::shared_ptr<ReportContext> context, const Target& target, ReportDone done);
void RouteTrace(std::shared_ptr<ReportContext> context, const Target& target, ReportDone done);
void NetworkRecord(std::shared_ptr<ReportContext> context, const Target& target, ReportDone done);
void PortScan(std::shared_ptr<ReportContext> context, const Target& target, ReportDone done);

}  // namespace site
