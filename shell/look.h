// File: shell/look.h
//
// What every button and box of the program shares: a focus frame that shows
// which button Enter and Space act on, and the message box and error box.
#pragma once

#include <QMessageBox>
#include <QStyle>
#include <QWidget>

#include <string_view>

namespace tto {

// The application's style with a dotted frame inside the button that has the
// focus, whether or not the button is also a default button (the window's
// two run buttons both are, and look alike otherwise). One instance for the
// program; it lives as long as the application.
QStyle* ButtonStyle();

// The message box (`icon` NoIcon) or the error box (Critical): captioned
// with the application title, one OK button, modal for the whole
// application, centred on the screen. It is a dialog of `owner`: it cannot
// be minimised apart from it and stays above it, and it is wide enough to
// show its whole caption however short its text. Returns when the user has
// dismissed it.
void ShowBox(QWidget* owner, QMessageBox::Icon icon, std::string_view text);

}  // namespace tto
