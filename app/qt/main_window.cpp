#include "app/qt/main_window.h"

#include <clocale>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleFactory>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "app/qt/toolkit_setup.h"

namespace {

// The window has a fixed size, so its fonts and style are fixed too: with the desktop's own
// (often larger) font the captions would no longer fit. Sizes are in pixels, which the
// toolkit scales on high-density screens.
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

// Fusion with narrower tab padding, so the nine captions of the page tabs fit the page area.
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

// Ctrl+Tab and Ctrl+Shift+Tab step through the shown pages and wrap round at either end. The
// tab widget's own stepping would land on the hidden network page (it skips only disabled
// tabs), so the two keys are taken before it sees them.
class ShownPageCycler : public QObject {
public:
    explicit ShownPageCycler(QTabWidget* pages) : QObject(pages), pages_(pages) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != pages_ || event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (!tab || !(key->modifiers() & Qt::ControlModifier)) return false;
        const bool back = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
        const int count = pages_->count();
        int page = pages_->currentIndex();
        for (int step = 0; step < count; ++step) {
            page = (page + (back ? count - 1 : 1)) % count;
            if (pages_->isTabVisible(page) && pages_->isTabEnabled(page)) break;
        }
        pages_->setCurrentIndex(page);
        return true;
    }

private:
    QTabWidget* pages_;
};

// Geometry of the window's two parts (client coordinates).
const QRect pages_rect{4, 4, 540, 332};
const QRect panel_rect{548, 4, 160, 332};

const QString zero_bits = QStringLiteral("0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0");
const QString not_available = QStringLiteral("н/д");
const QString not_connected = QStringLiteral("не подключен");

QLabel* make_label(QWidget* parent, const QString& text, const QRect& rect,
                   Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(rect);
    label->setAlignment(alignment);
    return label;
}

// A value shown in a sunken box: status texts, register values, counters.
QLabel* make_value(QWidget* parent, const QString& text, const QRect& rect,
                   Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
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
    list->setFont(fixed_font(list_font_pixels));
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

Control nth(Control first, int n) { return static_cast<Control>(static_cast<int>(first) + n); }

}  // namespace

void prepare_application(QApplication& app)
{
    // The volts of the DAC page are formatted by the C library with the user's decimal
    // separator. Qt formats its own numbers independently of this category.
    std::setlocale(LC_NUMERIC, "");
    QApplication::setStyle(new WindowStyle);
    app.setFont(ui_font());
    QApplication::setApplicationName(QStringLiteral("lirvan-service"));
    QApplication::setDesktopFileName(QStringLiteral("lirvan-service"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/lirvan-service.png")));
    use_russian_toolkit_texts();
    keep_no_toolkit_settings();
}

MainWindow::MainWindow(Hid& hid, CarriedImage update_image, QWidget* parent)
    : QWidget(parent), view_(*this), form_(view_, hid, update_image)
{
    // One fixed window: title bar with the system menu, minimise and close; no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(window_client_width, window_client_height);
    setFont(ui_font());
    setWindowTitle(QString::fromUtf8(module_caption));
    view_.add(Control::MainForm, this);

    pages_ = new QTabWidget(this);
    pages_->setGeometry(pages_rect);
    pages_->setUsesScrollButtons(false);
    pages_->tabBar()->setExpanding(false);
    view_.add(Control::PageControl1, pages_);

    const char* captions[] = {"Конфигурация", "ПЗУ", "ПЗУ АМТ", "КВПП", "ОЗУ",
                              "КЭ/БФОС", "КИП/БОС", "КП(ЦАП)", "Контроллер ЭА", "Сеть"};
    QWidget* page[10];
    for (int i = 0; i < 10; ++i) {
        page[i] = new QWidget;
        page[i]->setObjectName(QStringLiteral("TabSheet%1").arg(i + 1));
        pages_->addTab(page[i], QString::fromUtf8(captions[i]));
    }
    build_configuration_page(page[page_config]);
    build_rom_page(page[page_rom]);
    build_amt_page(page[page_amt]);
    build_kvp_page(page[page_kvp]);
    build_ram_page(page[page_ram]);
    build_ke_bfos_page(page[page_ke_bfos]);
    build_kip_bos_page(page[page_kip_bos]);
    build_dac_page(page[page_kp_dac]);
    build_ea_page(page[page_ea]);
    build_network_page(page[page_network]);
    // The network page is built and works, but its tab is not offered.
    pages_->setTabVisible(page_network, false);

    build_status_panel();

    timer1_ = new QTimer(this);
    timer1_->setInterval(1000);
    view_.add(Control::Timer1, timer1_);
    timer2_ = new QTimer(this);
    timer2_->setInterval(1000);
    view_.add(Control::Timer2, timer2_);

    connect_controls();
}

MainWindow::~MainWindow()
{
    timer1_->stop();
    timer2_->stop();
}

void MainWindow::start()
{
    if (started_) return;
    started_ = true;
    form_.FormCreate();
    if (QScreen* screen = this->screen()) {
        move(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                 screen->availableGeometry())
                 .topLeft());
    }
    timer1_->start();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!closed_) {
        closed_ = true;
        timer1_->stop();
        timer2_->stop();
        form_.FormClose();
    }
    event->accept();
}

void MainWindow::connect_controls()
{
    for (std::size_t i = 0; i < control_count; ++i) {
        const auto c = static_cast<Control>(i);
        QObject* o = view_.object(c);
        if (o == nullptr || c == Control::MainForm || c == Control::PageControl1) continue;
        if (qobject_cast<QCheckBox*>(o) != nullptr) {
            continue;  // a check box only holds a state; the buttons read it
        } else if (auto* button = qobject_cast<QAbstractButton*>(o)) {
            connect(button, &QAbstractButton::clicked, this, [this, c] { form_.click(c); });
        } else if (auto* combo = qobject_cast<QComboBox*>(o)) {
            // Only the user's pick: a selection made by the logic runs no handler.
            connect(combo, &QComboBox::activated, this, [this, c] { form_.change(c); });
        } else if (auto* edit = qobject_cast<QLineEdit*>(o)) {
            connect(edit, &QLineEdit::textChanged, this, [this, c] { form_.change(c); });
        } else if (auto* timer = qobject_cast<QTimer*>(o)) {
            connect(timer, &QTimer::timeout, this, [this, c] { form_.click(c); });
        }
    }
    pages_->installEventFilter(new ShownPageCycler(pages_));
    // Other ways onto the hidden tab (arrows on the tabs, the wheel, a page set from code)
    // are taken back: the network page is never to be brought forward. The tab bar reports
    // every change, also those made by the logic with the page control's signals blocked, so
    // it keeps the page to go back to.
    connect(pages_->tabBar(), &QTabBar::currentChanged, this, [this](int index) {
        if (index < 0) return;
        if (pages_->isTabVisible(index)) {
            last_visible_page_ = index;
            return;
        }
        const QSignalBlocker block(pages_);
        pages_->setCurrentIndex(last_visible_page_);
    });
    connect(pages_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index >= 0 && pages_->isTabVisible(index)) form_.change(Control::PageControl1);
    });
}

void MainWindow::build_status_panel()
{
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(panel_rect);
    panel->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    const int x = 6;
    const int w = panel_rect.width() - 2 * x;

    QLabel* heading = make_label(panel, QString::fromUtf8(module_caption), {x, 6, w, 20},
                                 Qt::AlignCenter);
    QFont bold = heading->font();
    bold.setBold(true);
    bold.setPixelSize(ui_font_pixels + 2);
    heading->setFont(bold);
    view_.add(Control::StaticText3, heading);

    struct Pair {
        Control caption, value;
        const char* caption_text;
        QString value_text;
    };
    const Pair pairs[] = {
        {Control::StaticText4, Control::StaticText7, "Статус", not_connected},
        {Control::StaticText5, Control::StaticText8, "Версия прошивки", not_available},
        {Control::StaticText6, Control::StaticText9, "Версия загрузчика", not_available},
    };
    int y = 32;
    for (const Pair& p : pairs) {
        view_.add(p.caption, make_label(panel, QString::fromUtf8(p.caption_text), {x, y, w, 16}));
        view_.add(p.value, make_value(panel, p.value_text, {x, y + 16, w, 20}, Qt::AlignCenter));
        y += 42;
    }

    view_.add(Control::Button8, make_button(panel, QStringLiteral("Остановить УЧПУ"), {x, 162, w, 26}));
    view_.add(Control::Button13,
              make_button(panel, QStringLiteral("Перезапустить Модуль"), {x, 192, w, 26}));

    QLabel* update_caption = make_label(panel, QStringLiteral("Доступная версия обновления прошивки:"),
                                        {x, 222, w, 30}, Qt::AlignLeft | Qt::AlignBottom);
    update_caption->setWordWrap(true);
    view_.add(Control::Label46, update_caption);
    view_.add(Control::Label47, make_label(panel, QStringLiteral("v 0.0.0.0"), {x, 252, w, 18}));
    view_.add(Control::Button3, make_button(panel, QStringLiteral("Обновить"), {x, 272, w, 26}));

    auto* progress = new QProgressBar(panel);
    progress->setGeometry(x, 304, w, 18);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(false);
    view_.add(Control::ProgressBar1, progress);
}

void MainWindow::build_configuration_page(QWidget* page)
{
    struct Row {
        const char* letter;
        const char* caption;
        QStringList items;
    };
    const Row rows[] = {
        {"X", "Версия математического обеспечения УЧПУ",
         {"2- версия 2", "3- версия 3", "4- версия 4", "5- МС-2109", "6- пользовательское ПЗУ"}},
        {"Z", "Прошивки ПЗУ АМТ",
         {"1- для 16А20Т", "2- для 1В340", "3- для МС-2109", "4- пользовательское АМТ"}},
        {"G", "Содержимое КВП",
         {"1- ОЗУ", "2- тестовая кассета 3700", "3- кассета 3702", "4- пользовательская КВП"}},
        {"M", "Инверсия клавиш движения по X", {"0- выкл", "1- вкл"}},
        {"S", "Режим сохранения/ восстановления ОЗУ",
         {"1- автоматический", "2- ручной", "3- восстановл. ОЗУ из СМП"}},
        {"T", "Фильтр по входам КИП",
         {"0- без фильтра", "1- 0,1 мкс", "2- 0, 2мкс", "3- 0,3 мкс", "4- 0,4 мкс", "5- 0,9 мкс",
          "6- 1,3 мкс", "7- 2,2 мкс", "8- 3,6 мкс", "9- 4,4 мкс"}},
        {"F", "Определение пропадания питания",
         {"0- по ~12В", "1- по пропаданию 24В", "2- 4,65В-4,70В", "3- 4,70В-4,75В",
          "4- 4,75В-4,80В"}},
    };
    int y = 10;
    for (int i = 0; i < 7; ++i) {
        make_value(page, QString::fromUtf8(rows[i].letter), {8, y, 24, 24}, Qt::AlignCenter)
            ->setIndent(0);
        make_value(page, QString::fromUtf8(rows[i].caption), {36, y, 272, 24});
        view_.add(nth(Control::ComboBox1, i), make_pick_list(page, {314, y, 212, 24}, rows[i].items));
        y += 30;
    }
    view_.add(Control::Button1, make_button(page, QStringLiteral("Считать"), {314, y + 8, 100, 28}));
    view_.add(Control::Button2, make_button(page, QStringLiteral("Записать"), {426, y + 8, 100, 28}));
}

namespace {

// Right edge of the pages' contents.
constexpr int page_right = 528;

// A hex preview just large enough for its eight rows of " XX" (frame, margins and a little air).
QRect preview_rect(int x, int y, int bytes_per_row)
{
    const QFontMetrics metrics(fixed_font(list_font_pixels));
    const int text = metrics.horizontalAdvance(QStringLiteral(" FF").repeated(bytes_per_row));
    return {x, y, text + 14, 8 * metrics.height() + 12};  // the eight rows of a preview
}

}  // namespace

void MainWindow::build_rom_page(QWidget* page)
{
    const QRect list = preview_rect(8, 10, 16);
    view_.add(Control::ListBox1, make_preview(page, list));
    const int x = list.right() + 9;
    const int w = page_right - x;
    view_.add(Control::BitBtn1, make_button(page, QStringLiteral("Открыть одним файлом"), {x, 10, w, 26}));
    view_.add(Control::BitBtn2, make_button(page, QStringLiteral("Открыть D83 (мл. байт)"), {x, 42, w, 26}));
    view_.add(Control::BitBtn3, make_button(page, QStringLiteral("Открыть D82 (ст. байт)"), {x, 74, w, 26}));
    view_.add(Control::BitBtn4, make_button(page, QStringLiteral("Считать"), {x, 112, w, 26}));
    view_.add(Control::Button5, make_button(page, QStringLiteral("Записать"), {x, 144, w, 26}));
}

void MainWindow::build_amt_page(QWidget* page)
{
    // The two halves side by side, each with its two lane files under it; the whole file,
    // which fills both halves, under both.
    const QRect low = preview_rect(8, 26, 8);
    const QRect high = preview_rect(low.right() + 9, 26, 8);
    view_.add(Control::Label22, make_label(page, QStringLiteral("70000:"), {low.x(), 6, 80, 18}));
    view_.add(Control::Label23, make_label(page, QStringLiteral("74000:"), {high.x(), 6, 80, 18}));
    view_.add(Control::ListBox2, make_preview(page, low));
    view_.add(Control::ListBox4, make_preview(page, high));
    const int y = low.bottom() + 9;
    view_.add(Control::BitBtn8,
              make_button(page, QStringLiteral("Открыть D76 (70 мл. байт)"), {low.x(), y, low.width(), 26}));
    view_.add(Control::BitBtn10,
              make_button(page, QStringLiteral("Открыть D77 (70 ст. байт)"), {low.x(), y + 30, low.width(), 26}));
    view_.add(Control::BitBtn9,
              make_button(page, QStringLiteral("Открыть D74 (74 мл. байт)"), {high.x(), y, high.width(), 26}));
    view_.add(Control::BitBtn11,
              make_button(page, QStringLiteral("Открыть D75 (74 ст. байт)"), {high.x(), y + 30, high.width(), 26}));
    view_.add(Control::BitBtn7, make_button(page, QStringLiteral("Открыть одним файлом"),
                                            {low.x(), y + 64, high.right() - low.x() + 1, 26}));
    const int x = high.right() + 9;
    const int w = page_right - x;
    view_.add(Control::BitBtn5, make_button(page, QStringLiteral("Считать"), {x, 26, w, 26}));
    view_.add(Control::Button7, make_button(page, QStringLiteral("Записать"), {x, 58, w, 26}));
}

void MainWindow::build_kvp_page(QWidget* page)
{
    const QRect list = preview_rect(8, 10, 16);
    view_.add(Control::ListBox3, make_preview(page, list));
    const int x = list.right() + 9;
    const int w = page_right - x;
    view_.add(Control::BitBtn12, make_button(page, QStringLiteral("Открыть одним файлом"), {x, 10, w, 26}));
    view_.add(Control::BitBtn6, make_button(page, QStringLiteral("Считать"), {x, 48, w, 26}));
    view_.add(Control::Button9, make_button(page, QStringLiteral("Записать"), {x, 80, w, 26}));
}

void MainWindow::build_ram_page(QWidget* page)
{
    const QRect list = preview_rect(8, 10, 16);
    view_.add(Control::ListBox5, make_preview(page, list));
    const int x = list.right() + 9;
    const int w = page_right - x;
    view_.add(Control::BitBtn13, make_button(page, QStringLiteral("Открыть файл"), {x, 10, w, 26}));
    view_.add(Control::BitBtn14, make_button(page, QStringLiteral("Считать"), {x, 48, w, 26}));
    const int y = list.bottom() + 10;
    view_.add(Control::Button4, make_button(page, QStringLiteral("Записать в основной энергонезависимый банк"),
                                            {8, y, 310, 26}));
    view_.add(Control::Button14, make_button(page, QStringLiteral("Записать в резерв. энергонезависимый банк"),
                                             {8, y + 32, 310, 26}));
}

namespace {

// One register row: its octal address, its bit row and its value in octal.
struct RegisterRow {
    QLabel* bits;
    QLabel* octal;
};

constexpr int row_height = 20;
constexpr int bits_indent = 4;

int bit_row_width()
{
    return QFontMetrics(fixed_font(bit_row_font_pixels)).horizontalAdvance(QString(32, '0')) +
           2 * bits_indent + 4;
}

RegisterRow make_register_row(QWidget* parent, const QString& address, int x, int y,
                              int address_width = 50)
{
    make_label(parent, address, {x, y, address_width, row_height});
    const int bits_x = x + address_width + 4;
    QLabel* bits = make_value(parent, zero_bits, {bits_x, y, bit_row_width(), row_height});
    bits->setFont(fixed_font(bit_row_font_pixels));
    bits->setIndent(bits_indent);
    const int octal_width = QFontMetrics(fixed_font(bit_row_font_pixels)).horizontalAdvance(QString(6, '0')) + 14;
    QLabel* octal = make_value(parent, QStringLiteral("0"),
                               {bits_x + bit_row_width() + 6, y, octal_width, row_height});
    octal->setFont(fixed_font(bit_row_font_pixels));
    return {bits, octal};
}

// Check boxes standing under digits of a bit row, one under each digit from `first_digit`
// (0 = bit 15) to digit 15 (bit 0), so that each box sits under the bit it sets.
std::vector<QCheckBox*> make_bit_boxes(QWidget* parent, const QLabel* bits, int first_digit, int y)
{
    // Digit positions from the text's own advances: glyph widths are fractional.
    const QFontMetricsF metrics(bits->font());
    const qreal text_left = bits->x() + bits->frameWidth() + bits_indent;
    std::vector<QCheckBox*> boxes;
    for (int digit = first_digit; digit < 16; ++digit) {
        auto* box = new QCheckBox(parent);
        const int w = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box);
        const int h = box->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, box);
        const qreal centre = text_left + metrics.horizontalAdvance(QString(2 * digit, QLatin1Char('0'))) +
                             metrics.horizontalAdvance(QLatin1Char('0')) / 2;
        box->setGeometry(qRound(centre - w / 2.0), y, w + 1, h + 1);
        box->setToolTip(QStringLiteral("бит %1").arg(15 - digit));
        boxes.push_back(box);
    }
    return boxes;
}

QGroupBox* make_group(QWidget* parent, const QString& title, const QRect& rect)
{
    auto* group = new QGroupBox(title, parent);
    group->setGeometry(rect);
    return group;
}

// Rows of registers under one another in a group, each row's bit row and octal value
// registered under consecutive control names from `first_bits` and `first_octal`.
std::vector<RegisterRow> add_register_rows(QtView& view, QWidget* group,
                                           std::initializer_list<const char*> addresses, int y,
                                           int pitch, Control first_bits, Control first_octal)
{
    std::vector<RegisterRow> rows;
    int i = 0;
    for (const char* address : addresses) {
        const RegisterRow row = make_register_row(group, QString::fromUtf8(address), 10, y + pitch * i);
        view.add(nth(first_bits, i), row.bits);
        view.add(nth(first_octal, i), row.octal);
        rows.push_back(row);
        ++i;
    }
    return rows;
}

}  // namespace

void MainWindow::build_ke_bfos_page(QWidget* page)
{
    QGroupBox* inputs = make_group(page, QStringLiteral("Входы"), {6, 4, 520, 118});
    add_register_rows(view_, inputs, {"170461", "170463", "170465", "170467"}, 22, 23,
                      Control::StaticText29, Control::StaticText35);

    QGroupBox* outputs = make_group(page, QStringLiteral("Выходы"), {6, 128, 520, 116});
    const auto rows = add_register_rows(view_, outputs, {"170462", "170464"}, 22, 44,
                                        Control::StaticText33, Control::StaticText39);
    for (int i = 0; i < 2; ++i) {
        const QLabel* bits = rows[static_cast<std::size_t>(i)].bits;
        const auto boxes = make_bit_boxes(outputs, bits, 0, bits->y() + row_height + 2);
        for (int n = 0; n < 16; ++n) view_.add(nth(Control::CheckBox1, 16 * i + n), boxes[static_cast<std::size_t>(n)]);
    }
    view_.add(Control::Button10, make_button(outputs, QStringLiteral("Отправить"), {414, 42, 96, 28}));
}

void MainWindow::build_kip_bos_page(QWidget* page)
{
    const RegisterRow row = make_register_row(page, QStringLiteral("Канал КИП0  170520"), 8, 12, 126);
    view_.add(Control::StaticText41, row.bits);
    view_.add(Control::StaticText42, row.octal);
    const auto boxes = make_bit_boxes(page, row.bits, 12, 12 + row_height + 2);
    for (int n = 0; n < 4; ++n) view_.add(nth(Control::CheckBox33, n), boxes[static_cast<std::size_t>(n)]);
    view_.add(Control::Button11,
              make_button(page, QStringLiteral("Отправить"), {row.octal->x(), 38, 96, 28}));

    QGroupBox* counters = make_group(page, QStringLiteral("Счетчики (дес)"), {6, 80, 300, 136});
    const char* captions[] = {"Канал КИП1 (X) 170521", "Канал КИП2 (Z) 170522",
                              "Канал КИП3 (S) 170523", "Канал КИП4 (M) 170524"};
    for (int i = 0; i < 4; ++i) {
        const int y = 24 + 26 * i;
        make_label(counters, QString::fromUtf8(captions[i]), {10, y, 160, 22});
        view_.add(nth(Control::StaticText43, i),
                  make_value(counters, QStringLiteral("0"), {176, y, 112, 22},
                             Qt::AlignRight | Qt::AlignVCenter));
    }
    view_.add(Control::Button6, make_button(page, QStringLiteral("Сбросить счетчики"), {318, 188, 150, 28}));
}

void MainWindow::build_dac_page(QWidget* page)
{
    const char* captions[] = {"Канал КП1 (X) 170500", "Канал КП2 (Z) 170501",
                              "Канал КП3  170502", "Канал КП4 (S) 170503"};
    const int edit_x = 360;
    make_label(page, QStringLiteral("oct"), {edit_x, 8, 90, 18}, Qt::AlignCenter);
    for (int i = 0; i < 4; ++i) {
        const int y = 28 + 30 * i;
        make_label(page, QString::fromUtf8(captions[i]), {8, y, 150, 24});
        view_.add(nth(Control::StaticText47, i),
                  make_value(page, QStringLiteral("0"), {164, y, 72, 24}, Qt::AlignRight | Qt::AlignVCenter));
        view_.add(nth(Control::StaticText51, i),
                  make_value(page, QStringLiteral("0"), {246, y, 76, 24}, Qt::AlignRight | Qt::AlignVCenter));
        make_label(page, QStringLiteral("В"), {326, y, 16, 24});
        auto* edit = new QLineEdit(QStringLiteral("0"), page);
        edit->setGeometry(edit_x, y, 90, 24);
        view_.add(nth(Control::Edit7, i), edit);
    }
    view_.add(Control::Button12, make_button(page, QStringLiteral("Отправить"), {edit_x, 152, 90, 28}));
}

void MainWindow::build_ea_page(QWidget* page)
{
    QGroupBox* inputs = make_group(page, QStringLiteral("Входы"), {6, 2, 520, 116});
    add_register_rows(view_, inputs, {"170461", "170463", "170465", "170467"}, 21, 23,
                      Control::StaticText55, Control::StaticText59);
    QGroupBox* outputs = make_group(page, QStringLiteral("Выходы"), {6, 122, 520, 70});
    add_register_rows(view_, outputs, {"170462", "170464"}, 21, 23, Control::StaticText63,
                      Control::StaticText65);
    // Group "НЦ-31": row "Выход" is StaticText67/71, row "Вход" StaticText68/72.
    QGroupBox* cnc = make_group(page, QStringLiteral("НЦ-31"), {6, 196, 520, 70});
    add_register_rows(view_, cnc, {"Выход", "Вход"}, 21, 23, Control::StaticText67, Control::StaticText71);
}

void MainWindow::build_network_page(QWidget* page)
{
    make_label(page, QStringLiteral("Сетевой адрес:"), {8, 12, 100, 24});
    auto* address = new QLineEdit(QStringLiteral("1"), page);
    address->setGeometry(112, 12, 120, 24);
    address->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    view_.add(Control::Edit1, address);

    make_label(page, QStringLiteral("COM порт:"), {8, 44, 100, 24});
    view_.add(Control::ComboBox8, make_pick_list(page, {112, 44, 120, 24}, {}));

    make_label(page, QStringLiteral("Скорость:"), {8, 76, 100, 24});
    QComboBox* rates = make_pick_list(page, {112, 76, 120, 24},
                                      {"2400", "4800", "9600", "19200", "38400", "57600", "115200"});
    rates->setCurrentIndex(5);
    view_.add(Control::ComboBox9, rates);

    view_.add(Control::Button15, make_button(page, QStringLiteral("Запустить опрос"), {112, 112, 140, 28}));

    struct Pair {
        const char* caption;
        Control value;
        QString text;
    };
    const Pair pairs[] = {
        {"Версия", Control::StaticText69, not_available},
        {"Статус", Control::StaticText74, not_connected},
        {"Всего пакетов", Control::StaticText76, not_available},
        {"Ошибок", Control::StaticText78, not_available},
    };
    int y = 12;
    for (const Pair& p : pairs) {
        make_label(page, QString::fromUtf8(p.caption), {280, y, 100, 24});
        view_.add(p.value, make_value(page, p.text, {384, y, 130, 24}));
        y += 32;
    }
}
