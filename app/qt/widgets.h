// The window's look and the little makers of its widgets: the fixed fonts, the style, and one
// maker per kind of control, each setting what that kind needs beyond its place.
#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>

#include "app/form.h"

class QApplication;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QWidget;

// The window's font for a font role. The window has a fixed size, so its fonts are fixed too.
QFont form_font(FontRole role);

Qt::Alignment form_alignment(Align align);
QRect form_rect(const FormRect& rect);

QLabel* make_label(QWidget* parent, const QString& text, const QRect& rect,
                   Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
// A value shown in a sunken box: status texts, register values, counters.
QLabel* make_value(QWidget* parent, const QString& text, const QRect& rect,
                   Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);
QPushButton* make_button(QWidget* parent, const QString& text, const QRect& rect);
QListWidget* make_preview(QWidget* parent, const QRect& rect);
QComboBox* make_pick_list(QWidget* parent, const QRect& rect, const QStringList& items);

// The application's style: Fusion with narrower tab padding, so the page tabs fit.
void set_window_style(QApplication& app);
