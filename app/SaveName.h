#pragma once
// The file name the save dialog suggests for a result page.

#include <QDate>
#include <QString>

// The address in its kept form and the day, "example.test-2026-12-08.html";
// characters a file name cannot hold, or that a desktop would read as a
// folder or a pattern, become "_". A blank address gives "tarnwell-...".
QString SaveName(const QString& address, const QDate& day);
