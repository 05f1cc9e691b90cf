#pragma once
// Hands a link target to the desktop: an "http://" URL to the default web
// browser, a "mailto:" URL to the default mail client. Whether that worked is
// not looked at: a desktop with neither simply shows nothing.

#include <functional>
#include <string>

void ShellOpen(const std::string& target);

// Tests only: takes the place of the desktop; an empty function puts it back.
void SetShellOpener(std::function<void(const std::string&)> opener);
