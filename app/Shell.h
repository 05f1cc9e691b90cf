#pragma once
// Hands a link target to the desktop: an "http://" URL to the default web
// browser, a "mailto:" URL to the default mail client.

#include <QString>
#include <functional>
#include <string>

// False when the desktop has no program to take it.
bool ShellOpen(const std::string& target);

// What the status line says when ShellOpen found no program for `target`.
QString NoOpenerText(const std::string& target);

// Tests only: takes the place of the desktop; an empty function puts it back.
void SetShellOpener(std::function<bool(const std::string&)> opener);
