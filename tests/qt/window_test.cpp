// The real Qt window, built on the offscreen platform: every named control exists under its
// name with its caption and state after start-up, everything fits the fixed window, and the
// widgets carry the view operations and the user's events to the window's logic.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFontInfo>
#include <QKeyEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/formats.h"
#include "app/carried_update.h"
#include "demo/demo_module.h"
#include "app/form.h"
#include "app/qt/main_window.h"
#include "sim/paced_hid.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // An empty home of its own, as a first run on a fresh account: the tool must leave it
        // empty (checked by nothing_is_kept_in_the_home_folder).
        home_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(home_->isValid());
        qputenv("HOME", QFile::encodeName(home_->path()));
        qunsetenv("XDG_CONFIG_HOME");
        static int argc = 1;
        static char name[] = "window_test";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        prepare_application(*app_);
    }
    void TearDown() override
    {
        app_.reset();
        home_.reset();
    }
    static QString home() { return home_->path(); }

private:
    std::unique_ptr<QApplication> app_;
    static inline std::unique_ptr<QTemporaryDir> home_;
};

[[maybe_unused]] ::testing::Environment* const qt_environment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

QString qname(Control c)
{
    return QString::fromLatin1(control_name(c).data(), static_cast<qsizetype>(control_name(c).size()));
}

std::string text_of(const QObject* o)
{
    if (auto* l = qobject_cast<const QLabel*>(o)) return l->text().toStdString();
    if (auto* b = qobject_cast<const QAbstractButton*>(o)) return b->text().toStdString();
    if (auto* e = qobject_cast<const QLineEdit*>(o)) return e->text().toStdString();
    if (auto* c = qobject_cast<const QComboBox*>(o)) return c->currentText().toStdString();
    return {};
}

Control nth(Control first, int n) { return static_cast<Control>(static_cast<int>(first) + n); }

// A control by its kind and number: named("CheckBox", 33).
Control named(const std::string& kind, int number)
{
    const std::string name = kind + std::to_string(number);
    for (std::size_t i = 0; i < control_count; ++i)
        if (control_names[i] == name) return static_cast<Control>(i);
    ADD_FAILURE() << "no control " << name;
    return Control::MainForm;
}

const std::string zero_bits = "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";

// A click on a widget as the user's mouse puts it into the queue.
void post_click(QWidget* w)
{
    const QPointF at(4, 4);
    QApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton,
                                               Qt::LeftButton, Qt::NoModifier));
    QApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton,
                                               Qt::NoButton, Qt::NoModifier));
}

// Counts the paints of the widget it watches while it lives.
struct Paints : QObject {
    int count = 0;
    explicit Paints(QWidget* w) { w->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override { return count += e->type() == QEvent::Paint, false; }
};

// The window on an empty bus (no module), started as the executables start it.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<MainWindow>(bus, carried_update_image());
        window->start();
    }
    void TearDown() override { window.reset(); }

    template <class T = QWidget>
    T* find(Control c) const
    {
        if (c == Control::MainForm) return qobject_cast<T*>(window.get());
        return window->findChild<T*>(qname(c));
    }

    SimBus bus;
    std::unique_ptr<MainWindow> window;
};

TEST_F(WindowTest, every_named_control_exists_once_under_its_name)
{
    EXPECT_EQ(window->objectName(), QStringLiteral("MainForm"));
    for (std::size_t i = 1; i < control_count; ++i) {
        const auto c = static_cast<Control>(i);
        const auto found = window->findChildren<QObject*>(qname(c));
        EXPECT_EQ(found.size(), 1) << control_names[i];
        EXPECT_EQ(window->view().object(c), found.value(0)) << control_names[i];
    }
    // Widgets of the kinds the logic expects.
    EXPECT_NE(find<QTabWidget>(Control::PageControl1), nullptr);
    EXPECT_NE(find<QProgressBar>(Control::ProgressBar1), nullptr);
    for (int i = 1; i <= 36; ++i) EXPECT_NE(find<QCheckBox>(named("CheckBox", i)), nullptr) << i;
    for (Control c : {Control::ListBox1, Control::ListBox2, Control::ListBox3, Control::ListBox4,
                      Control::ListBox5})
        EXPECT_NE(find<QListWidget>(c), nullptr) << control_name(c);
    for (int i = 1; i <= 9; ++i) EXPECT_NE(find<QComboBox>(named("ComboBox", i)), nullptr) << i;
    for (Control c : {Control::Edit1, Control::Edit7, Control::Edit8, Control::Edit9, Control::Edit10})
        EXPECT_NE(find<QLineEdit>(c), nullptr) << control_name(c);
    EXPECT_NE(window->findChild<QTimer*>(QStringLiteral("Timer1")), nullptr);
    EXPECT_NE(window->findChild<QTimer*>(QStringLiteral("Timer2")), nullptr);
}

TEST_F(WindowTest, every_control_stands_where_the_form_places_it)
{
    const auto rect = [](const FormRect& r) { return QRect(r.x, r.y, r.w, r.h); };
    for (const FormControl& c : form_controls()) {
        if (!c.name || c.kind == FormKind::timer) continue;
        const FormRowParts parts = form_row_parts(c);
        const bool row = parts.first.w != 0;
        EXPECT_EQ(find(*c.name)->geometry(), rect(row ? parts.first : c.rect)) << control_name(*c.name);
        if (c.partner) {
            EXPECT_EQ(find(*c.partner)->geometry(), rect(parts.second)) << control_name(*c.partner);
        }
    }
}

TEST_F(WindowTest, start_up_texts)
{
    const std::map<Control, std::string> expected = {
        {Control::MainForm, "ЛИРВАН НЦ-31/МС-2109 v 4.36"},
        {Control::StaticText3, "ЛИРВАН НЦ-31"},
        {Control::StaticText4, "Статус"},
        {Control::StaticText7, "не подключен"},
        {Control::StaticText5, "Версия прошивки"},
        {Control::StaticText8, "н/д"},
        {Control::StaticText6, "Версия загрузчика"},
        {Control::StaticText9, "н/д"},
        {Control::Button8, "Остановить УЧПУ"},
        {Control::Button13, "Перезапустить Модуль"},
        {Control::Label46, "Доступная версия обновления прошивки:"},
        {Control::Label47, "v " + firmware_version_text(carried_update_version())},
        {Control::Button3, "Обновить"},
        {Control::ComboBox1, "4- версия 4"},
        {Control::ComboBox2, "1- для 16А20Т"},
        {Control::ComboBox3, "1- ОЗУ"},
        {Control::ComboBox4, "0- выкл"},
        {Control::ComboBox5, "1- автоматический"},
        {Control::ComboBox6, "4- 0,4 мкс"},
        {Control::ComboBox7, "0- по ~12В"},
        {Control::Button1, "Считать"},
        {Control::Button2, "Записать"},
        {Control::BitBtn1, "Открыть одним файлом"},
        {Control::BitBtn2, "Открыть D83 (мл. байт)"},
        {Control::BitBtn3, "Открыть D82 (ст. байт)"},
        {Control::BitBtn4, "Считать"},
        {Control::Button5, "Записать"},
        {Control::BitBtn7, "Открыть одним файлом"},
        {Control::BitBtn8, "Открыть D76 (70 мл. байт)"},
        {Control::BitBtn10, "Открыть D77 (70 ст. байт)"},
        {Control::BitBtn9, "Открыть D74 (74 мл. байт)"},
        {Control::BitBtn11, "Открыть D75 (74 ст. байт)"},
        {Control::BitBtn5, "Считать"},
        {Control::Button7, "Записать"},
        {Control::Label22, "70000:"},
        {Control::Label23, "74000:"},
        {Control::BitBtn12, "Открыть одним файлом"},
        {Control::BitBtn6, "Считать"},
        {Control::Button9, "Записать"},
        {Control::BitBtn13, "Открыть файл"},
        {Control::BitBtn14, "Считать"},
        {Control::Button4, "Записать в основной энергонезависимый банк"},
        {Control::Button14, "Записать в резерв. энергонезависимый банк"},
        {Control::Button10, "Отправить"},
        {Control::Button11, "Отправить"},
        {Control::Button6, "Сбросить счетчики"},
        {Control::Button12, "Отправить"},
        {Control::Edit1, "1"},
        {Control::ComboBox9, "57600"},
        {Control::Button15, "Запустить опрос"},
        {Control::StaticText69, "н/д"},
        {Control::StaticText74, "не подключен"},
        {Control::StaticText76, "н/д"},
        {Control::StaticText78, "н/д"},
    };
    for (const auto& [c, text] : expected) {
        if (c != Control::MainForm) {
            EXPECT_EQ(text_of(window->view().object(c)), text) << control_name(c);
        }
        EXPECT_EQ(window->view().text(c), text) << control_name(c);
    }
    EXPECT_EQ(window->windowTitle().toStdString(), expected.at(Control::MainForm));
    // No application display name: the platform would append it to every box's title.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());

    // Register values: bit rows and octal values of pages 5, 6 and 8; counters; DAC values.
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(text_of(find(nth(Control::StaticText29, i))), zero_bits) << i;
        EXPECT_EQ(text_of(find(nth(Control::StaticText35, i))), "0") << i;
    }
    EXPECT_EQ(text_of(find(Control::StaticText41)), zero_bits);
    EXPECT_EQ(text_of(find(Control::StaticText42)), "0");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(text_of(find(nth(Control::StaticText43, i))), "0") << i;
        EXPECT_EQ(text_of(find(nth(Control::StaticText47, i))), "0") << i;
        EXPECT_EQ(text_of(find(nth(Control::Edit7, i))), "0") << i;
    }
    for (int i = 0; i < 4; ++i) EXPECT_EQ(text_of(find(nth(Control::StaticText55, i))), zero_bits) << i;
    for (Control c : {Control::StaticText63, Control::StaticText64, Control::StaticText67, Control::StaticText68})
        EXPECT_EQ(text_of(find(c)), zero_bits) << control_name(c);
    for (Control c : {Control::StaticText59, Control::StaticText62, Control::StaticText65,
                      Control::StaticText66, Control::StaticText71, Control::StaticText72})
        EXPECT_EQ(text_of(find(c)), "0") << control_name(c);

    EXPECT_EQ(find<QProgressBar>(Control::ProgressBar1)->value(), 0);
    EXPECT_FALSE(find<QAbstractButton>(Control::CheckBox1)->isChecked());
}

TEST_F(WindowTest, pick_lists_hold_their_items)
{
    const std::map<Control, QStringList> items = {
        {Control::ComboBox1, {"2- версия 2", "3- версия 3", "4- версия 4", "5- МС-2109", "6- пользовательское ПЗУ"}},
        {Control::ComboBox2, {"1- для 16А20Т", "2- для 1В340", "3- для МС-2109", "4- пользовательское АМТ"}},
        {Control::ComboBox3, {"1- ОЗУ", "2- тестовая кассета 3700", "3- кассета 3702", "4- пользовательская КВП"}},
        {Control::ComboBox4, {"0- выкл", "1- вкл"}},
        {Control::ComboBox5, {"1- автоматический", "2- ручной", "3- восстановл. ОЗУ из СМП"}},
        {Control::ComboBox6, {"0- без фильтра", "1- 0,1 мкс", "2- 0, 2мкс", "3- 0,3 мкс", "4- 0,4 мкс",
                              "5- 0,9 мкс", "6- 1,3 мкс", "7- 2,2 мкс", "8- 3,6 мкс", "9- 4,4 мкс"}},
        {Control::ComboBox7, {"0- по ~12В", "1- по пропаданию 24В", "2- 4,65В-4,70В", "3- 4,70В-4,75В",
                              "4- 4,75В-4,80В"}},
        {Control::ComboBox9, {"2400", "4800", "9600", "19200", "38400", "57600", "115200"}},
    };
    for (const auto& [c, list] : items) {
        auto* combo = find<QComboBox>(c);
        ASSERT_NE(combo, nullptr);
        EXPECT_FALSE(combo->isEditable()) << control_name(c);
        QStringList shown;
        for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
        EXPECT_EQ(shown, list) << control_name(c);
    }
}

TEST_F(WindowTest, start_up_enabled_states)
{
    // Output check boxes disabled; device action buttons and DAC value edits enabled until the
    // first tick says otherwise.
    for (int i = 1; i <= 36; ++i) EXPECT_FALSE(find(named("CheckBox", i))->isEnabled()) << i;
    for (Control c : {Control::Button1, Control::Button2, Control::Button3, Control::Button4,
                      Control::Button5, Control::Button7, Control::Button8, Control::Button9,
                      Control::Button10, Control::Button11, Control::Button12, Control::Button13,
                      Control::Button14, Control::BitBtn4, Control::BitBtn5, Control::BitBtn6,
                      Control::BitBtn14})
        EXPECT_TRUE(find(c)->isEnabled()) << control_name(c);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(find(nth(Control::Edit7, i))->isEnabled()) << i;
    // Polling can start only with a port to poll on.
    EXPECT_EQ(find(Control::Button15)->isEnabled(), find<QComboBox>(Control::ComboBox8)->count() > 0);

    EXPECT_TRUE(window->findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
    EXPECT_EQ(window->findChild<QTimer*>(QStringLiteral("Timer1"))->interval(), 1000);
    EXPECT_FALSE(window->findChild<QTimer*>(QStringLiteral("Timer2"))->isActive());
    EXPECT_EQ(window->findChild<QTimer*>(QStringLiteral("Timer2"))->interval(), 1000);
}

TEST_F(WindowTest, previews_start_as_eight_rows_in_a_fixed_pitch_font)
{
    const std::string ff16 = [] { std::string s; for (int i = 0; i < 16; ++i) s += " FF"; return s; }();
    const std::string ff8 = ff16.substr(0, 24);
    const std::string zero16 = [] { std::string s; for (int i = 0; i < 16; ++i) s += " 00"; return s; }();
    const std::map<Control, std::string> rows = {{Control::ListBox1, ff16}, {Control::ListBox2, ff8},
                                                 {Control::ListBox3, ff16}, {Control::ListBox4, ff8},
                                                 {Control::ListBox5, zero16}};
    for (const auto& [c, row] : rows) {
        auto* list = find<QListWidget>(c);
        ASSERT_EQ(list->count(), 8) << control_name(c);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(list->item(i)->text().toStdString(), row) << control_name(c);
        EXPECT_TRUE(QFontInfo(list->font()).fixedPitch()) << control_name(c);
    }
    // The bit rows too, so that each output check box stands under its digit.
    EXPECT_TRUE(QFontInfo(find(Control::StaticText33)->font()).fixedPitch());
}

TEST_F(WindowTest, fixed_window_of_712_by_340_with_page_9_hidden)
{
    EXPECT_EQ(window->size(), QSize(712, 340));
    EXPECT_EQ(window->minimumSize(), QSize(712, 340));
    EXPECT_EQ(window->maximumSize(), QSize(712, 340));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);

    auto* pages = find<QTabWidget>(Control::PageControl1);
    const QStringList captions = {"Конфигурация", "ПЗУ", "ПЗУ АМТ", "КВПП", "ОЗУ", "КЭ/БФОС",
                                  "КИП/БОС", "КП(ЦАП)", "Контроллер ЭА", "Сеть"};
    ASSERT_EQ(pages->count(), captions.size());
    for (int i = 0; i < pages->count(); ++i) {
        EXPECT_EQ(pages->tabText(i), captions[i]);
        EXPECT_EQ(pages->isTabVisible(i), i != page_network) << i;
    }
    EXPECT_EQ(pages->currentIndex(), page_config);
    EXPECT_EQ(window->view().active_page(), page_config);
    // The status panel is right of the pages.
    EXPECT_GT(find(Control::StaticText7)->mapTo(window.get(), QPoint(0, 0)).x(), pages->geometry().right());
}

// Every caption, item and value must be readable in full at the fixed size.
TEST_F(WindowTest, every_text_fits_its_control)
{
    window->show();
    auto* pages = find<QTabWidget>(Control::PageControl1);
    EXPECT_LE(pages->tabBar()->sizeHint().width(), pages->width()) << "page tabs do not fit";

    // Values as wide as a live module makes them.
    QtView& view = window->view();
    view.set_text(Control::StaticText7, "не подключен");
    view.set_text(Control::StaticText9, "255.255.255.");
    view.set_text(Control::StaticText8, "15.1515");
    view.set_text(Control::Button8, "Остановить УЧПУ");
    view.set_text(Control::StaticText43, "-2147483648");
    view.set_text(Control::StaticText51, "-157.286");
    view.set_text(Control::StaticText47, "177777");
    view.set_text(Control::StaticText29, "1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 ");
    view.set_text(Control::StaticText35, "177777");
    view.set_text(Control::StaticText76, "4294967295");

    const auto check = [&](QWidget* w) {
        const QString name = w->objectName();
        // Inside its page, group or panel.
        QWidget* parent = w->parentWidget();
        if (parent != nullptr && (parent->objectName().startsWith(QStringLiteral("TabSheet")) ||
                                  parent->objectName() == QStringLiteral("Panel1") ||
                                  qobject_cast<QGroupBox*>(parent) != nullptr)) {
            EXPECT_TRUE(parent->rect().contains(w->geometry()))
                << name.toStdString() << " \"" << text_of(w) << "\" leaves " << parent->objectName().toStdString();
        }
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->wordWrap() || label->text().isEmpty()) return;
            const int indent = label->indent() < 0 ? 0 : label->indent();
            const int room = label->contentsRect().width() - label->margin() * 2 - indent;
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text().trimmed()), room)
                << "label " << name.toStdString() << " \"" << label->text().toStdString() << "\"";
            EXPECT_LE(label->fontMetrics().height(), label->contentsRect().height()) << name.toStdString();
        } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
            EXPECT_LE(box->fontMetrics().horizontalAdvance(box->title()) + 16, box->width());
        } else if (qobject_cast<QCheckBox*>(w) != nullptr) {
            // Check boxes have no caption.
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_LE(button->sizeHint().width(), button->width())
                << "button " << name.toStdString() << " \"" << button->text().toStdString() << "\"";
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            QComboBox probe;
            probe.setFont(combo->font());
            for (int i = 0; i < combo->count(); ++i) probe.addItem(combo->itemText(i));
            probe.setSizeAdjustPolicy(QComboBox::AdjustToContents);
            EXPECT_LE(probe.sizeHint().width(), combo->width()) << "pick list " << name.toStdString();
        } else if (auto* list = qobject_cast<QListWidget*>(w)) {
            int widest = 0;
            for (int i = 0; i < list->count(); ++i)
                widest = std::max(widest, list->fontMetrics().horizontalAdvance(list->item(i)->text()));
            EXPECT_LE(widest, list->viewport()->width() - 4) << "list " << name.toStdString();
            EXPECT_LE(list->count() * list->sizeHintForRow(0), list->viewport()->height())
                << "list " << name.toStdString();
        }
    };
    // Each page as it is when shown (the hidden network page included).
    for (int i = 0; i < pages->count(); ++i) {
        pages->setTabVisible(i, true);
        pages->setCurrentIndex(i);
        QApplication::processEvents();
        for (QWidget* w : pages->widget(i)->findChildren<QWidget*>()) check(w);
    }
    for (QWidget* w : window->findChild<QWidget*>(QStringLiteral("Panel1"))->findChildren<QWidget*>()) check(w);

    // The wrapped caption of the carried version takes no more room than it has.
    auto* update_caption = find<QLabel>(Control::Label46);
    EXPECT_LE(update_caption->heightForWidth(update_caption->width()), update_caption->height());
}

TEST_F(WindowTest, output_check_boxes_stand_under_their_bits)
{
    // Box n of a row sits under digit n of the row's bit text (most significant bit first).
    const auto check_row = [&](Control bits_control, Control first_box, int first_digit, int boxes) {
        auto* bits = find<QLabel>(bits_control);
        const QFontMetricsF metrics(bits->font());
        const qreal digit = metrics.horizontalAdvance(QLatin1Char('0'));
        for (int n = 0; n < boxes; ++n) {
            QWidget* box = find(nth(first_box, n));
            const QPoint centre = box->mapTo(window.get(), box->rect().center());
            const int text_left = bits->mapTo(window.get(), bits->contentsRect().topLeft()).x() + bits->indent();
            const qreal digit_centre = text_left + 2 * (first_digit + n) * digit + digit / 2;
            EXPECT_NEAR(centre.x(), digit_centre, 2.0) << control_name(nth(first_box, n));
            EXPECT_GT(centre.y(), bits->mapTo(window.get(), bits->rect().bottomLeft()).y());
        }
    };
    check_row(Control::StaticText33, Control::CheckBox1, 0, 16);
    check_row(Control::StaticText34, Control::CheckBox17, 0, 16);
    check_row(Control::StaticText41, Control::CheckBox33, 12, 4);
}

TEST_F(WindowTest, selections_and_pages_set_by_the_logic_run_no_handler)
{
    auto* combo = find<QComboBox>(Control::ComboBox1);
    window->view().combo_select(Control::ComboBox1, 4);
    EXPECT_EQ(combo->currentIndex(), 4);
    EXPECT_EQ(window->form().params_array[0], 4);  // not 6: no handler ran

    // The user's pick runs ComboBox1Change, which stores the item's code.
    emit combo->activated(4);
    EXPECT_EQ(window->form().params_array[0], 6);

    auto* pages = find<QTabWidget>(Control::PageControl1);
    QSignalSpy changes(pages, &QTabWidget::currentChanged);
    window->view().set_active_page(page_kp_dac);
    EXPECT_EQ(pages->currentIndex(), page_kp_dac);
    EXPECT_EQ(window->view().active_page(), page_kp_dac);
    EXPECT_EQ(changes.count(), 0);
    window->view().combo_select(Control::ComboBox6, 10);  // out of range: no item
    EXPECT_EQ(find<QComboBox>(Control::ComboBox6)->currentIndex(), -1);
}

TEST_F(WindowTest, dac_edits_reach_the_logic_and_turn_red_on_bad_text)
{
    auto* edit = find<QLineEdit>(Control::Edit7);
    edit->setText(QStringLiteral("7777"));
    EXPECT_EQ(window->form().KP1, 0xFFF);
    const QColor normal = edit->palette().color(QPalette::Text);
    EXPECT_NE(normal, QColor(Qt::red));

    edit->setText(QStringLiteral("8"));
    EXPECT_EQ(window->form().KP1, 0xFFF);
    EXPECT_EQ(edit->palette().color(QPalette::Text), QColor(Qt::red));

    edit->setText(QStringLiteral("10"));
    EXPECT_EQ(window->form().KP1, 8);
    EXPECT_EQ(edit->palette().color(QPalette::Text), normal);
}

TEST_F(WindowTest, cursor_progress_and_timers)
{
    QtView& view = window->view();
    view.set_cursor(CursorShape::hourglass);
    view.set_cursor(CursorShape::hourglass);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    view.set_cursor(CursorShape::normal);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // one restore undoes the hourglass
    view.set_cursor(CursorShape::normal);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    view.set_progress(50);
    EXPECT_EQ(find<QProgressBar>(Control::ProgressBar1)->value(), 50);
    view.set_progress(0);

    auto* timer2 = window->findChild<QTimer*>(QStringLiteral("Timer2"));
    view.set_timer_enabled(Control::Timer2, true);
    EXPECT_TRUE(timer2->isActive());
    view.set_timer_enabled(Control::Timer2, false);
    EXPECT_FALSE(timer2->isActive());

    window->close();
    EXPECT_FALSE(window->findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
}

TEST(WindowBoxes, message_texts_use_single_line_breaks)
{
    EXPECT_EQ(normalize_line_breaks("a\rb"), "a\nb");
    EXPECT_EQ(normalize_line_breaks("a\n\rb"), "a\nb");
    EXPECT_EQ(normalize_line_breaks("a\r\nb"), "a\nb");
    EXPECT_EQ(normalize_line_breaks("a\nb"), "a\nb");
    EXPECT_EQ(normalize_line_breaks("a\r\rb"), "a\n\nb");
    EXPECT_EQ(normalize_line_breaks("a\n\r\n\rb"), "a\n\nb");
}

// Answers the next modal box or dialog from inside its own event loop.
template <class Box, class Answer>
void answer_next(Answer answer)
{
    QTimer::singleShot(0, [answer] {
        auto* box = qobject_cast<Box*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        answer(box);
    });
}

TEST_F(WindowTest, yes_no_question_and_messages)
{
    QString seen_text, seen_title;
    answer_next<QMessageBox>([&](QMessageBox* box) {
        seen_text = box->text();
        seen_title = box->windowTitle();
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(window->view().ask_yes_no("Внимание!", "Файл с таким именем существует\n\rПродолжить?"));
    EXPECT_EQ(seen_text, QStringLiteral("Файл с таким именем существует\nПродолжить?"));
    EXPECT_EQ(seen_title, QStringLiteral("Внимание!"));

    answer_next<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    EXPECT_FALSE(window->view().ask_yes_no("ЛИРВАН НЦ-31", "Записать в ППЗУ ЛИРВАН НЦ-31?"));
    answer_next<QMessageBox>([](QMessageBox* box) { box->reject(); });  // Esc or the close box
    EXPECT_FALSE(window->view().ask_yes_no("ЛИРВАН НЦ-31", "Записать в ППЗУ ЛИРВАН НЦ-31?"));

    answer_next<QMessageBox>([&](QMessageBox* box) {
        seen_text = box->text();
        seen_title = box->windowTitle();
        EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        box->button(QMessageBox::Ok)->click();
    });
    window->view().show_message("ЛИРВАН НЦ-31/МС-2109 v 4.36",
                                "Не совпала контрольная сумма параметров.\rВосстановлены параметры по умолчанию");
    EXPECT_EQ(seen_text, QStringLiteral("Не совпала контрольная сумма параметров.\nВосстановлены параметры по умолчанию"));
    EXPECT_EQ(seen_title, QStringLiteral("ЛИРВАН НЦ-31/МС-2109 v 4.36"));

    answer_next<QMessageBox>([&](QMessageBox* box) {
        seen_title = box->windowTitle();
        box->accept();
    });
    window->view().show_error("Не удалось открыть файл");
    EXPECT_EQ(seen_title, window->windowTitle());
}

// The toolkit's own texts read Russian, whatever the locale of the machine running the test,
// and a box is titled with exactly the caption the logic gives it.
TEST_F(WindowTest, boxes_and_file_dialogs_speak_russian_under_their_own_caption)
{
    QString yes, no, title;
    answer_next<QMessageBox>([&](QMessageBox* box) {
        yes = box->button(QMessageBox::Yes)->text().remove(QLatin1Char('&'));
        no = box->button(QMessageBox::No)->text().remove(QLatin1Char('&'));
        title = box->windowTitle();
        box->button(QMessageBox::No)->click();
    });
    window->view().ask_yes_no("ЛИРВАН НЦ-31", "Записать в ППЗУ ЛИРВАН НЦ-31?");
    EXPECT_EQ(yes, QStringLiteral("Да"));
    EXPECT_EQ(no, QStringLiteral("Нет"));
    EXPECT_EQ(title, QStringLiteral("ЛИРВАН НЦ-31"));
    EXPECT_NE(QGuiApplication::applicationDisplayName(), window->windowTitle());

    EXPECT_TRUE(QCoreApplication::testAttribute(Qt::AA_DontUseNativeDialogs));
    QString cancel, accept;
    answer_next<QFileDialog>([&](QFileDialog* dialog) {
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        cancel = buttons->button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&'));
        accept = buttons->button(QDialogButtonBox::Open)->text().remove(QLatin1Char('&'));
        dialog->reject();
    });
    std::string name;
    EXPECT_FALSE(window->view().open_file_dialog(name));
    EXPECT_EQ(cancel, QStringLiteral("Отмена"));
    EXPECT_EQ(accept, QStringLiteral("Открыть"));
}

TEST_F(WindowTest, save_dialog_proposes_the_name_and_adds_bin)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    std::string name = dir.filePath(QStringLiteral("rom.bin")).toStdString();
    QString proposed;
    answer_next<QFileDialog>([&](QFileDialog* dialog) {
        proposed = dialog->selectedFiles().value(0);
        EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("bin"));
        EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("Бинарный файл (*.bin)")});
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        dialog->selectFile(dir.filePath(QStringLiteral("copy")));
        static_cast<QDialog*>(dialog)->accept();  // the dialog's own accept checks the name
    });
    ASSERT_TRUE(window->view().save_file_dialog(name));
    EXPECT_EQ(proposed, dir.filePath(QStringLiteral("rom.bin")));
    EXPECT_EQ(name, dir.filePath(QStringLiteral("copy.bin")).toStdString());

    answer_next<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    EXPECT_FALSE(window->view().save_file_dialog(name));
    EXPECT_EQ(name, dir.filePath(QStringLiteral("copy.bin")).toStdString());
}

TEST(CarriedImage, resource_update_holds_the_image_of_the_build)
{
    const CarriedImage image = carried_update_image();
    ASSERT_NE(image.data, nullptr);
    ASSERT_GT(image.size, 0u);
    EXPECT_EQ(image.version_word, carried_update_version());
    EXPECT_EQ(image.version_word & 0xFFF000FFu, 0u);  // only bits 8..19 carry a version
    // The generated placeholder says what it is and has the usual firmware length.
    const char banner[] = "LIRVAN NC-31 PLACEHOLDER FIRMWARE IMAGE";
    if (image.size >= sizeof banner && std::memcmp(image.data, banner, sizeof banner - 1) == 0) {
        EXPECT_EQ(image.size, 248488u);
        const std::size_t ramp = std::string(reinterpret_cast<const char*>(image.data), 200).find('\n') + 1;
        for (std::size_t i = ramp; i < ramp + 600; ++i)
            EXPECT_EQ(image.data[i], static_cast<std::uint8_t>((i - ramp) % 255 + 1)) << i;
    }
}

// The window on the simulated module: a status tick reaches the real widgets.
TEST(WindowOnModule, a_tick_shows_the_module_on_the_panel_and_the_page)
{
    SimModule module;
    module.set_firmware_version(0x00043500);
    module.set_cpu_running(false);
    module.set_bus_register(0170461, 0x8001);
    SimBus bus;
    bus.add_interface(module);
    MainWindow window(bus, carried_update_image());
    window.start();
    window.pages()->setCurrentIndex(page_ke_bfos);
    window.form().Timer1Timer();

    EXPECT_EQ(window.view().text(Control::StaticText7), "подключен");
    EXPECT_EQ(window.view().text(Control::StaticText8), "4.35");
    EXPECT_EQ(window.view().text(Control::Button8), "Запустить УЧПУ");
    EXPECT_EQ(window.view().text(Control::StaticText29), "1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 ");
    EXPECT_EQ(window.view().text(Control::StaticText35), "100001");
    EXPECT_TRUE(window.control(Control::CheckBox1)->isEnabled());
    EXPECT_TRUE(window.control(Control::Button3)->isEnabled());

    // The module goes away: the next tick disables the device actions.
    bus.remove_interface(0);
    window.form().Timer1Timer();
    EXPECT_EQ(window.view().text(Control::StaticText7), "не подключен");
    EXPECT_FALSE(window.control(Control::Button3)->isEnabled());
    EXPECT_FALSE(window.control(Control::CheckBox1)->isEnabled());
}

}  // namespace

// The demo's module through the real window: "Обновить" hands over to the loader, the next
// tick streams the carried image with the bar moving, and the module comes back with the
// carried version.
TEST(WindowOnModule, the_demo_module_takes_the_carried_update)
{
    const CarriedImage image = carried_update_image();
    DemoModule demo(image.version_word);
    MainWindow window(demo.hid(), image);
    window.start();
    window.form().Timer1Timer();
    EXPECT_EQ(window.view().text(Control::StaticText7), "подключен");
    const std::string carried = firmware_version_text(image.version_word);
    EXPECT_NE(window.view().text(Control::StaticText8), carried);  // an older version to begin with

    auto* bar = qobject_cast<QProgressBar*>(window.control(Control::ProgressBar1));
    QSignalSpy progress(bar, &QProgressBar::valueChanged);
    qobject_cast<QPushButton*>(window.control(Control::Button3))->click();
    window.form().Timer1Timer();  // finds the loader and streams
    EXPECT_EQ(window.view().text(Control::StaticText7), "загрузчик");
    EXPECT_EQ(demo.module().last_update_image().size(), image.size);
    ASSERT_GE(progress.count(), 3);
    EXPECT_EQ(progress.at(progress.count() - 2).at(0).toInt(), 100);
    EXPECT_EQ(progress.last().at(0).toInt(), 0);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    window.form().Timer1Timer();
    EXPECT_EQ(window.view().text(Control::StaticText7), "подключен");
    EXPECT_EQ(window.view().text(Control::StaticText8), carried);
    EXPECT_EQ(demo.module().updates_completed(), 1u);
}

// A firmware stream at a module's pace with the window's turns every 20 ms: in them a label
// told to repaint is painted, but the status tick (due every 5 ms), a click of "Считать" and
// the window's close do nothing; the close goes through after the stream. A click and a key
// on "Обновить" that are queued between the turns are thrown away at the end of the stream.
TEST(WindowOnModule, a_long_stream_keeps_painting_and_runs_no_tick_handler_or_close)
{
    using namespace std::chrono_literals;
    std::vector<std::uint8_t> image(64 * 1024, 0x3C);
    SimModule module;
    SimBus bus;
    bus.add_interface(module);
    std::chrono::steady_clock::duration pace = 0ms;
    QWidget* update_button = nullptr;
    bool after_turn = false;  // the next report queues the user's input for the next turn or the end
    PacedHid paced(bus, [&] {
        spin_for(pace);
        if (!after_turn) return;
        after_turn = false;
        post_click(update_button);
        QApplication::postEvent(update_button, new QKeyEvent(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier));
        QApplication::postEvent(update_button, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier));
    });
    MainWindow window(paced, CarriedImage{image.data(), image.size(), 0x00043600});
    window.start();
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    module.set_form(SimModule::Form::loader);
    window.form().up_flag = true;
    window.form().set_keep_alive_interval(20ms);
    window.findChild<QTimer*>(QStringLiteral("Timer1"))->setInterval(5);
    QWidget* label = window.control(Control::Label46);
    update_button = window.control(Control::Button3);
    QTimer poke;  // runs in every turn
    QObject::connect(&poke, &QTimer::timeout, [&] {
        after_turn = pace > 0ms;
        label->update();
        qobject_cast<QPushButton*>(window.control(Control::Button1))->click();
        window.close();
    });
    Paints paints(label), bar_paints(window.control(Control::ProgressBar1));
    poke.start(0);
    pace = 500us;  // 1000 reports: half a second at least
    const auto began = std::chrono::steady_clock::now();
    window.form().click(Control::Timer1);  // finds the loader and streams, as the window ticks
    const auto turns = (std::chrono::steady_clock::now() - began) / 20ms + 1;
    pace = 0ms;
    poke.stop();

    EXPECT_EQ(module.last_update_image(), image);
    std::vector<std::uint8_t> codes;  // the tick's searches and queries, the stream's
    for (const SimCommand& c : module.commands()) codes.push_back(c.code);
    EXPECT_EQ(codes, (std::vector<std::uint8_t>{cmd_identify, cmd_identify, cmd_get_status, cmd_get_loader_info,
                                                cmd_identify, cmd_update}));
    EXPECT_GE(paints.count, 5);
    // 128 pieces move the bar by 100 steps; it is painted in the turns, one paint a turn at most.
    EXPECT_GE(bar_paints.count, 3);
    EXPECT_LE(bar_paints.count, turns + 1);
    EXPECT_TRUE(window.isVisible());
    QTest::qWait(50);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.form().up_flag) << "no second update asked for";
}

// The bar is painted once for a position it does not show yet, never for the same one again.
// What the user's keys and clicks put in the queue before the end of a transfer is thrown away
// there, the edit and the button untouched; the same input outside it is taken.
TEST_F(WindowTest, input_queued_until_the_end_of_a_transfer_is_thrown_away)
{
    window->show();
    auto* edit = find<QLineEdit>(Control::Edit7);
    auto* button = find<QPushButton>(Control::Button3);
    QSignalSpy clicks(button, &QAbstractButton::clicked);
    const QString before = edit->text();
    const auto queue_input = [&] {
        QApplication::postEvent(edit, new QKeyEvent(QEvent::KeyPress, Qt::Key_7, Qt::NoModifier, QStringLiteral("7")));
        post_click(button);
    };
    queue_input();
    window->view().drop_input();
    QApplication::processEvents();
    EXPECT_EQ(edit->text(), before);
    EXPECT_EQ(clicks.count(), 0);
    queue_input();
    QApplication::processEvents();
    EXPECT_NE(edit->text(), before) << "the key reaches the edit outside a transfer";
    EXPECT_EQ(clicks.count(), 1);
}

TEST_F(WindowTest, the_bar_paints_a_new_position_in_the_next_turn_once)
{
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    QApplication::processEvents();
    auto* bar = find<QProgressBar>(Control::ProgressBar1);
    Paints paints(bar);
    for (int position : {0, 1, 1, 2, 100}) window->view().set_progress(position);
    EXPECT_EQ(paints.count, 0) << "no paint between the pieces";
    window->view().keep_alive();  // the window's turn
    EXPECT_EQ(paints.count, 1);
    EXPECT_EQ(bar->value(), 100);
    window->view().set_progress(100);
    window->view().keep_alive();
    EXPECT_EQ(paints.count, 1) << "the position it has costs no paint";
}

TEST_F(WindowTest, keyboard_and_wheel_never_bring_the_hidden_page_forward)
{
    auto* pages = find<QTabWidget>(Control::PageControl1);
    window->show();
    pages->setCurrentIndex(page_ea);
    QKeyEvent ctrl_tab(QEvent::KeyPress, Qt::Key_Tab, Qt::ControlModifier);
    QApplication::sendEvent(pages, &ctrl_tab);  // past the last shown page: round to the first
    EXPECT_EQ(pages->currentIndex(), page_config);
    EXPECT_EQ(pages->currentWidget(), pages->widget(page_config));
    EXPECT_EQ(window->view().active_page(), page_config);
    pages->setCurrentIndex(page_ea);
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(pages->tabBar(), &right);
    EXPECT_EQ(pages->currentIndex(), page_ea);
    EXPECT_EQ(pages->currentWidget(), pages->widget(page_ea));
    pages->setCurrentIndex(page_ea);
    QKeyEvent page_down(QEvent::KeyPress, Qt::Key_PageDown, Qt::ControlModifier);
    QApplication::sendEvent(pages, &page_down);
    EXPECT_EQ(pages->currentIndex(), page_ea);

    // Pages the logic chooses are remembered as the page to go back to.
    window->view().set_active_page(page_rom);
    pages->setCurrentIndex(page_network);
    EXPECT_EQ(pages->currentIndex(), page_rom);
    // Other keyboard steps go on as usual.
    QApplication::sendEvent(pages, &ctrl_tab);
    EXPECT_EQ(pages->currentIndex(), page_amt);
}

// Ctrl+Tab and Ctrl+Shift+Tab, typed wherever the focus is, walk round the nine shown pages in
// either direction; the hidden network page is never current, not even for a moment, and the
// logic hears of every step (a step stops network polling, as any page change does).
TEST_F(WindowTest, ctrl_tab_walks_round_the_shown_pages_both_ways)
{
    auto* pages = find<QTabWidget>(Control::PageControl1);
    window->show();
    QSignalSpy bar_changes(pages->tabBar(), &QTabBar::currentChanged);
    const auto walk = [&](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        std::vector<int> visited;
        for (int i = 0; i < 10; ++i) {
            window->form().net_polling = true;
            QWidget* focus = pages->currentWidget()->findChildren<QWidget*>().value(0, pages);
            QTest::keyClick(focus, key, modifiers);
            EXPECT_FALSE(window->form().net_polling) << "no page change reached the logic";
            visited.push_back(window->view().active_page());
        }
        return visited;
    };
    EXPECT_EQ(walk(Qt::Key_Tab, Qt::ControlModifier), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 0, 1}));
    EXPECT_EQ(walk(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier),
              (std::vector<int>{0, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
    EXPECT_EQ(walk(Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier),
              (std::vector<int>{8, 7, 6, 5, 4, 3, 2, 1, 0, 8}));
    for (const auto& change : bar_changes) EXPECT_NE(change.at(0).toInt(), page_network);
}

namespace {

// Last in the program: the file dialogs above have opened and closed by now, and the dialog
// stores its history and layout in the user's settings as it closes.
TEST_F(WindowTest, nothing_is_kept_in_the_home_folder)
{
    answer_next<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    std::string name;
    window->view().open_file_dialog(name);
    QCoreApplication::processEvents();
    EXPECT_EQ(QDir(QtEnvironment::home())
                  .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList{});
}

}  // namespace
