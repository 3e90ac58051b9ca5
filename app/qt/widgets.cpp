#include "app/qt/widgets.h"

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QListWidget>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>

namespace {

// Sizes are in pixels, which the toolkit scales on high-density screens. With the desktop's
// own (often larger) font the captions would no longer fit the fixed window.
constexpr int ui_font_pixels = 11;
constexpr int list_font_pixels = 12;     // hex previews
constexpr int bit_row_font_pixels = 13;  // bit rows: wide enough digits to stand a check box under each

QFont ui_font()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(ui_font_pixels);
    return font;
}

QFont fixed_font(int pixels)
{
    // DejaVu Sans Mono first: the system's "monospace" may resolve to a font with some
    // double-width glyphs, which the toolkit does not count as fixed-pitch.
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setFamilies({QStringLiteral("DejaVu Sans Mono"),
                      QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(pixels);
    return font;
}

class WindowStyle : public QProxyStyle {
public:
    WindowStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override
    {
        if (metric == PM_TabBarTabHSpace) return 8;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

}  // namespace

QFont form_font(FontRole role)
{
    switch (role) {
    case FontRole::heading: {
        QFont bold = ui_font();
        bold.setBold(true);
        bold.setPixelSize(ui_font_pixels + 2);
        return bold;
    }
    case FontRole::list: return fixed_font(list_font_pixels);
    case FontRole::bit_row: return fixed_font(bit_row_font_pixels);
    case FontRole::ui: break;
    }
    return ui_font();
}

Qt::Alignment form_alignment(Align align)
{
    switch (align) {
    case Align::centre: return Qt::AlignCenter;
    case Align::right: return Qt::AlignRight | Qt::AlignVCenter;
    case Align::left_bottom: return Qt::AlignLeft | Qt::AlignBottom;
    case Align::left: break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

QRect form_rect(const FormRect& rect) { return {rect.x, rect.y, rect.w, rect.h}; }

QLabel* make_label(QWidget* parent, const QString& text, const QRect& rect, Qt::Alignment alignment)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(rect);
    label->setAlignment(alignment);
    return label;
}

QLabel* make_value(QWidget* parent, const QString& text, const QRect& rect, Qt::Alignment alignment)
{
    QLabel* label = make_label(parent, text, rect, alignment);
    label->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    label->setIndent(4);
    return label;
}

QPushButton* make_button(QWidget* parent, const QString& text, const QRect& rect)
{
    auto* button = new QPushButton(text, parent);
    button->setGeometry(rect);
    button->setAutoDefault(false);
    return button;
}

QListWidget* make_preview(QWidget* parent, const QRect& rect)
{
    auto* list = new QListWidget(parent);
    list->setGeometry(rect);
    list->setFont(form_font(FontRole::list));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

QComboBox* make_pick_list(QWidget* parent, const QRect& rect, const QStringList& items)
{
    auto* combo = new QComboBox(parent);
    combo->setGeometry(rect);
    combo->setEditable(false);
    combo->addItems(items);
    combo->setCurrentIndex(-1);
    return combo;
}

void set_window_style(QApplication& app)
{
    QApplication::setStyle(new WindowStyle);
    app.setFont(ui_font());
}
