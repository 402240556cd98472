#pragma once

#include <memory>

#include "mainwindow/form1.h"

// A loaded main window for tests that put rows and records straight into it.
std::unique_ptr<Form1> loadedWindow();

// Adds one row with its record, as a listing would; returns the row's position.
int addMessage(Form1 &window, const MailRecord &record, const QString &recDate = QString());

// The rows' check marks as a text of '1' and '0', top to bottom.
QString checkMarks(const Form1 &window);
