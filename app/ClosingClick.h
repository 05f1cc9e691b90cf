#pragma once
// A click outside an open pop-up list closes the list and is still the click
// the user made: a completer's list would otherwise take it for itself, and
// the button clicked would need a second click.

class QWidget;

// For the life of `popup`.
void KeepClosingClick(QWidget* popup);
