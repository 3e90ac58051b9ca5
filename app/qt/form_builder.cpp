#include "app/qt/form_builder.h"

#include <array>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "app/qt/qt_view.h"
#include "app/qt/widgets.h"

namespace {

QString text_of(const char* text) { return QString::fromUtf8(text); }

QStringList items_of(const FormControl& c)
{
    QStringList items;
    for (const char* item : c.items) items << QString::fromUtf8(item);
    return items;
}

// The holders: the tabbed pages, one page, the status panel, a group box. Each returns the
// widget that what it holds stands in.
QObject* build_holder(const FormControl& c, QWidget* holder, QtView& view)
{
    const QRect rect = form_rect(c.rect);
    switch (c.kind) {
    case FormKind::page_control: {
        auto* pages = new QTabWidget(holder);
        pages->setGeometry(rect);
        pages->setUsesScrollButtons(false);
        pages->tabBar()->setExpanding(false);
        return pages;
    }
    case FormKind::page: {
        auto* pages = qobject_cast<QTabWidget*>(view.object(Control::PageControl1));
        auto* page = new QWidget;
        page->setObjectName(QStringLiteral("TabSheet%1").arg(pages->count() + 1));
        const int index = pages->addTab(page, text_of(c.text));
        if (!c.visible) pages->setTabVisible(index, false);
        return page;
    }
    case FormKind::panel: {
        auto* panel = new QFrame(holder);
        panel->setObjectName(QStringLiteral("Panel1"));
        panel->setGeometry(rect);
        panel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
        return panel;
    }
    default: {
        auto* group = new QGroupBox(text_of(c.text), holder);
        group->setGeometry(rect);
        return group;
    }
    }
}

// The texts: a caption, a value in a sunken box, a letter of the configuration page.
QObject* build_text(const FormControl& c, QWidget* holder)
{
    const QRect rect = form_rect(c.rect);
    const Qt::Alignment align = form_alignment(c.align);
    if (c.kind == FormKind::value) return make_value(holder, text_of(c.text), rect, align);
    if (c.kind == FormKind::letter) {
        QLabel* letter = make_value(holder, text_of(c.text), rect, align);
        letter->setIndent(0);
        return letter;
    }
    QLabel* label = make_label(holder, text_of(c.text), rect, align);
    if (c.font != FontRole::ui) label->setFont(form_font(c.font));
    label->setWordWrap(c.wrap);
    return label;
}

// What the user works: buttons, pick lists, edits, check boxes; and the previews and the bar.
QObject* build_input(const FormControl& c, QWidget* holder)
{
    const QRect rect = form_rect(c.rect);
    switch (c.kind) {
    case FormKind::button: return make_button(holder, text_of(c.text), rect);
    case FormKind::pick_list: {
        QComboBox* combo = make_pick_list(holder, rect, items_of(c));
        if (c.selected >= 0) combo->setCurrentIndex(c.selected);
        return combo;
    }
    case FormKind::edit: {
        auto* edit = new QLineEdit(text_of(c.text), holder);
        edit->setGeometry(rect);
        edit->setAlignment(form_alignment(c.align));
        return edit;
    }
    case FormKind::preview: return make_preview(holder, rect);
    case FormKind::check_box: {
        auto* box = new QCheckBox(holder);
        box->setGeometry(rect);
        box->setToolTip(text_of(c.text));
        return box;
    }
    default: {
        auto* progress = new QProgressBar(holder);
        progress->setGeometry(rect);
        progress->setRange(0, 100);
        progress->setValue(0);
        progress->setTextVisible(false);
        return progress;
    }
    }
}

// A row: its caption, its first value (returned) and its second, which is registered here.
QObject* build_row(const FormControl& c, QWidget* holder, QtView& view)
{
    const Qt::Alignment align = form_alignment(c.align);
    const FormRowParts parts = form_row_parts(c);
    make_label(holder, text_of(c.text), form_rect(parts.caption));
    QLabel* first = make_value(holder, text_of(form_row_text(c, true)), form_rect(parts.first), align);
    if (c.kind == FormKind::counter_row) return first;
    QLabel* second = make_value(holder, text_of(form_row_text(c, false)), form_rect(parts.second), align);
    if (c.font != FontRole::ui) {
        first->setFont(form_font(c.font));
        second->setFont(form_font(c.font));
    }
    view.add(*c.partner, second);
    return first;
}

// The widgets of one entry; `holder` is the widget it stands in. Returns the entry's own
// widget (a row: its first value), or the holder it opens for a page, panel or group.
QObject* build(const FormControl& c, QWidget& window, QWidget* holder, QtView& view)
{
    switch (c.kind) {
    case FormKind::page_control:
    case FormKind::page:
    case FormKind::panel:
    case FormKind::group: return build_holder(c, holder, view);
    case FormKind::label:
    case FormKind::value:
    case FormKind::letter: return build_text(c, holder);
    case FormKind::button:
    case FormKind::pick_list:
    case FormKind::edit:
    case FormKind::preview:
    case FormKind::check_box:
    case FormKind::progress: return build_input(c, holder);
    case FormKind::timer: {
        auto* timer = new QTimer(&window);
        timer->setInterval(c.interval_ms);
        return timer;
    }
    case FormKind::register_row:
    case FormKind::counter_row:
    case FormKind::dac_row: return build_row(c, holder, view);
    }
    return nullptr;
}

}  // namespace

void build_form(QWidget& window, QtView& view)
{
    constexpr auto frame_count = form_holder_count;
    std::array<QWidget*, frame_count> holders{};
    holders[static_cast<std::size_t>(FormHolder::window)] = &window;
    for (const FormControl& c : form_controls()) {
        QObject* made = build(c, window, holders[static_cast<std::size_t>(c.parent)], view);
        if (c.name) view.add(*c.name, made);
        if (c.holder) holders[static_cast<std::size_t>(*c.holder)] = qobject_cast<QWidget*>(made);
    }
}
