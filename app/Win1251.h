#pragma once
// The program keeps its texts as Windows-1251 byte strings, as the components
// do; the widgets speak Unicode. These two functions are the only crossing.

#include <QList>
#include <QString>
#include <string>

// A character that Windows-1251 cannot hold becomes "?".
std::string ToWin1251(const QString& text);
// Every byte has a character, so any byte string survives the way back and forth.
QString FromWin1251(const std::string& bytes);
