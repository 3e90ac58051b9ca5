// Builds the window's controls from the form table, one widget (or row of widgets) per entry,
// and registers each named control with the view.
#pragma once

class QObject;
class QWidget;
class QtView;

void build_form(QWidget& window, QtView& view);
