#include "scripted_run.h"

#include <cstdio>
#include <deque>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/form.h"
#include "demo/demo_core.h"

namespace {

std::string hex(const std::uint8_t* bytes, std::size_t n)
{
    std::string out;
    char b[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02X", bytes[i]);
        out += b;
    }
    return out;
}

// Every report on its way to and from the module, as hex; trailing zero bytes folded.
class TapHid : public Hid {
public:
    TapHid(Hid& inner, std::ostream& log) : inner_(inner), log_(log) {}
    bool list_interfaces(std::vector<HidInterfaceInfo>& out) override
    {
        const bool ok = inner_.list_interfaces(out);
        log_ << "hid list " << ok << ' ' << out.size() << '\n';
        return ok;
    }
    HidHandleId open(const std::string& path) override
    {
        const HidHandleId h = inner_.open(path);
        log_ << "hid open " << path << ' ' << (h != invalid_hid_id) << '\n';
        return h;
    }
    bool attributes(HidHandleId h, std::uint16_t& v, std::uint16_t& p) override { return inner_.attributes(h, v, p); }
    bool feature_report_length(HidHandleId h, std::size_t& length) override
    {
        return inner_.feature_report_length(h, length);
    }
    bool set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length) override
    {
        const bool ok = inner_.set_feature(h, buf, length);
        log_ << "hid set " << ok << ' ' << trimmed(buf, length) << '\n';
        return ok;
    }
    bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length) override
    {
        const bool ok = inner_.get_feature(h, buf, length);
        log_ << "hid get " << ok << ' ' << trimmed(buf, length) << '\n';
        return ok;
    }
    void close(HidHandleId h) override
    {
        log_ << "hid close\n";
        inner_.close(h);
    }

private:
    static std::string trimmed(const std::uint8_t* buf, std::size_t n)
    {
        while (n > 0 && buf[n - 1] == 0) --n;
        return hex(buf, n);
    }
    Hid& inner_;
    std::ostream& log_;
};

// A view that writes down every call and answers the dialogs from a script.
class LoggingView : public View {
public:
    explicit LoggingView(std::ostream& log) : log_(log) {}
    std::deque<std::optional<std::string>> open_answers, save_answers;
    std::deque<bool> yes_no_answers;
    int page = 0;

    void set_text(Control c, const std::string& t) override
    {
        texts_[c] = t;
        log_ << "text " << control_name(c) << " = " << t << '\n';
    }
    std::string text(Control c) const override
    {
        const auto items = items_.find(c);
        if (items != items_.end()) {
            const int i = combo_index(c);
            if (i >= 0 && i < static_cast<int>(items->second.size())) return items->second[i];
        }
        const auto it = texts_.find(c);
        return it == texts_.end() ? std::string{} : it->second;
    }
    void set_enabled(Control c, bool on) override { log_ << "enabled " << control_name(c) << ' ' << on << '\n'; }
    bool checked(Control c) const override
    {
        const auto it = checks.find(c);
        return it != checks.end() && it->second;
    }
    void set_red(Control c, bool on) override { log_ << "red " << control_name(c) << ' ' << on << '\n'; }
    void list_clear(Control c) override { log_ << "list clear " << control_name(c) << '\n'; }
    void list_append(Control c, const std::string& line) override
    {
        log_ << "list " << control_name(c) << " + " << line << '\n';
    }
    void combo_set_items(Control c, const std::vector<std::string>& items) override
    {
        items_[c] = items;
        indexes_[c] = -1;
        log_ << "combo items " << control_name(c);
        for (const auto& i : items) log_ << " | " << i;
        log_ << '\n';
    }
    int combo_count(Control c) const override
    {
        const auto it = items_.find(c);
        return it == items_.end() ? 0 : static_cast<int>(it->second.size());
    }
    int combo_index(Control c) const override
    {
        const auto it = indexes_.find(c);
        return it == indexes_.end() ? -1 : it->second;
    }
    void combo_select(Control c, int index) override
    {
        indexes_[c] = index;
        log_ << "combo select " << control_name(c) << ' ' << index << '\n';
    }
    int active_page() const override { return page; }
    void set_active_page(int index) override
    {
        page = index;
        log_ << "page " << index << '\n';
    }
    void set_cursor(CursorShape shape) override { log_ << "cursor " << static_cast<int>(shape) << '\n'; }
    void set_progress(int position) override { log_ << "progress " << position << '\n'; }
    void repaint() override { log_ << "repaint\n"; }
    void keep_alive() override {}  // when it comes depends on the clock, not on the script
    void drop_input() override {}
    void set_timer_enabled(Control timer, bool on) override
    {
        log_ << "timer " << control_name(timer) << ' ' << on << '\n';
    }
    bool ask_yes_no(const std::string& caption, const std::string& t) override
    {
        const bool answer = yes_no_answers.empty() ? true : yes_no_answers.front();
        if (!yes_no_answers.empty()) yes_no_answers.pop_front();
        log_ << "ask [" << caption << "] " << t << " -> " << answer << '\n';
        return answer;
    }
    void show_message(const std::string& caption, const std::string& t) override
    {
        log_ << "message [" << caption << "] " << t << '\n';
    }
    void show_error(const std::string& t) override { log_ << "error " << t << '\n'; }
    bool open_file_dialog(std::string& file_name) override { return answer("open", open_answers, file_name); }
    bool save_file_dialog(std::string& file_name) override { return answer("save", save_answers, file_name); }

    // Sets the user's selection or entry before its change handler runs.
    void user_select(Control c, int index) { indexes_[c] = index; }
    void user_type(Control c, const std::string& t) { texts_[c] = t; }
    std::map<Control, bool> checks;

private:
    bool answer(const char* what, std::deque<std::optional<std::string>>& answers, std::string& file_name)
    {
        log_ << what << " dialog proposes " << std::filesystem::path(file_name).filename().string();
        std::optional<std::string> a;
        if (!answers.empty()) {
            a = answers.front();
            answers.pop_front();
        }
        log_ << " -> " << (a ? std::filesystem::path(*a).filename().string() : "cancel") << '\n';
        if (!a) return false;
        file_name = *a;
        return true;
    }
    std::ostream& log_;
    std::map<Control, std::string> texts_;
    std::map<Control, std::vector<std::string>> items_;
    std::map<Control, int> indexes_;
};

std::vector<std::uint8_t> pattern(std::size_t n, unsigned seed)
{
    std::vector<std::uint8_t> b(n);
    unsigned x = seed;
    for (auto& v : b) {
        x = x * 1103515245u + 12345u;
        v = static_cast<std::uint8_t>(x >> 16);
    }
    return b;
}

void write_file(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string file_digest(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::uint32_t sum = 0, mix = 2166136261u;
    for (const char c : bytes) {
        sum += static_cast<std::uint8_t>(c);
        mix = (mix ^ static_cast<std::uint8_t>(c)) * 16777619u;
    }
    return std::to_string(bytes.size()) + " bytes, sum " + std::to_string(sum) + ", fnv " + std::to_string(mix);
}

}  // namespace

void dump_form_table(std::ostream& out)
{
    for (const FormControl& c : form_controls()) {
        out << static_cast<int>(c.kind) << ' ' << (c.name ? control_name(*c.name) : "-") << " in "
            << static_cast<int>(c.parent) << ' ' << c.rect.x << ',' << c.rect.y << ' ' << c.rect.w << 'x' << c.rect.h
            << " '" << c.text << "' font " << static_cast<int>(c.font) << " align " << static_cast<int>(c.align)
            << " wrap " << c.wrap << " visible " << c.visible << " selected " << c.selected << " interval "
            << c.interval_ms << " frame " << (c.holder ? static_cast<int>(*c.holder) : -1) << " partner "
            << (c.partner ? control_name(*c.partner) : "-") << " items";
        for (const char* item : c.items) out << " | " << item;
        if (c.kind == FormKind::register_row || c.kind == FormKind::counter_row || c.kind == FormKind::dac_row) {
            const FormRowParts parts = form_row_parts(c);
            for (const FormRect& r : {parts.caption, parts.first, parts.second})
                out << " [" << r.x << ',' << r.y << ' ' << r.w << 'x' << r.h << ']';
            out << " '" << form_row_text(c, true) << "' '" << form_row_text(c, false) << "'";
        }
        out << '\n';
    }
}

void run_scripted_session(const std::filesystem::path& scratch, std::ostream& log)
{
    std::filesystem::create_directories(scratch);
    const auto file = [&](const char* name) { return (scratch / name).string(); };
    write_file(file("rom.bin"), pattern(16384, 1));
    write_file(file("d83.bin"), pattern(8192, 2));
    write_file(file("d82.bin"), pattern(8192, 3));
    write_file(file("amt.bin"), pattern(8192, 4));
    for (const char* lane : {"d76.bin", "d77.bin", "d74.bin", "d75.bin"}) write_file(file(lane), pattern(2048, lane[2]));
    write_file(file("kvp.bin"), pattern(16384, 5));
    write_file(file("ram.bin"), pattern(32768, 6));
    write_file(file("short.bin"), pattern(1000, 7));

    const std::vector<std::uint8_t> image = pattern(1300, 8);
    DemoCore demo(0x00043600);
    TapHid hid(demo.hid(), log);
    LoggingView view(log);
    TMainForm form(view, hid, CarriedImage{image.data(), image.size(), 0x00043600});
    std::int64_t now = 0;
    const auto step = [&](const char* what) { log << "=== " << what << '\n'; };
    const auto tick = [&] {
        now += 1000;
        demo.advance_to(now);
        step("tick");
        form.click(Control::Timer1);
    };
    const auto show_page = [&](int page) {
        view.page = page;
        step(("page " + std::to_string(page)).c_str());
        form.change(Control::PageControl1);
        tick();
        tick();
    };

    step("create");
    form.FormCreate();
    for (int page = 0; page < 10; ++page) show_page(page);

    show_page(0);
    step("config read");
    form.click(Control::Button1);
    const Control combos[] = {Control::ComboBox1, Control::ComboBox2, Control::ComboBox3, Control::ComboBox4,
                              Control::ComboBox5, Control::ComboBox6, Control::ComboBox7};
    for (const Control c : combos) {
        step("config choice");
        view.user_select(c, 1);
        form.change(c);
        view.user_select(c, 0);
        form.change(c);
    }
    view.user_select(Control::ComboBox3, 2);
    form.change(Control::ComboBox3);
    step("config write");
    form.click(Control::Button2);
    form.click(Control::Button1);

    struct Load {
        int page;
        Control button;
        const char* file;
    };
    const Load loads[] = {
        {1, Control::BitBtn1, "rom.bin"},   {1, Control::BitBtn2, "d83.bin"}, {1, Control::BitBtn3, "d82.bin"},
        {1, Control::BitBtn1, "short.bin"}, {2, Control::BitBtn7, "amt.bin"}, {2, Control::BitBtn8, "d76.bin"},
        {2, Control::BitBtn10, "d77.bin"},  {2, Control::BitBtn9, "d74.bin"}, {2, Control::BitBtn11, "d75.bin"},
        {3, Control::BitBtn12, "kvp.bin"},  {4, Control::BitBtn13, "ram.bin"},
    };
    for (const Load& l : loads) {
        show_page(l.page);
        step((std::string("load ") + l.file).c_str());
        view.open_answers.push_back(file(l.file));
        form.click(l.button);
    }
    view.open_answers.push_back(std::nullopt);
    form.click(Control::BitBtn1);  // cancelled

    struct Transfer {
        int page;
        Control write, read_back;
        const char* saved;
    };
    const Transfer transfers[] = {
        {1, Control::Button5, Control::BitBtn4, "rom-back"},
        {2, Control::Button7, Control::BitBtn5, "amt-back"},
        {3, Control::Button9, Control::BitBtn6, "kvp-back"},
        {4, Control::Button4, Control::BitBtn14, "ram-back"},
    };
    for (const Transfer& t : transfers) {
        show_page(t.page);
        step("write");
        form.click(t.write);
        tick();
        step("read back");
        view.save_answers.push_back(file(t.saved));
        form.click(t.read_back);
        log << "saved " << t.saved << ": " << file_digest(file(t.saved)) << '\n';
    }
    step("ram reserve bank");
    form.click(Control::Button14);
    tick();

    show_page(5);
    step("cpu stop");
    form.click(Control::Button8);
    tick();
    for (const Control c : {Control::CheckBox1, Control::CheckBox5, Control::CheckBox16, Control::CheckBox17,
                            Control::CheckBox32})
        view.checks[c] = true;
    step("outputs");
    form.click(Control::Button10);
    form.click(Control::Button11);
    tick();
    show_page(6);
    step("counters");
    form.click(Control::Button13);
    show_page(7);
    step("dac");
    for (const auto& [edit, text] : {std::pair{Control::Edit7, "100000"}, std::pair{Control::Edit8, "1234"},
                                     std::pair{Control::Edit9, "9x"}, std::pair{Control::Edit10, "177777"}}) {
        view.user_type(edit, text);
        form.change(edit);
    }
    form.click(Control::Button12);
    view.user_type(Control::Edit9, "7");
    form.change(Control::Edit9);
    form.click(Control::Button12);
    tick();
    show_page(8);
    step("cpu start");
    form.click(Control::Button8);
    tick();
    step("restart");
    form.click(Control::Button6);
    tick();

    show_page(9);
    step("network settings");
    view.user_type(Control::Edit1, "17");
    form.change(Control::Edit1);
    view.user_type(Control::Edit1, "x");
    form.change(Control::Edit1);
    view.user_select(Control::ComboBox9, 2);
    form.change(Control::ComboBox9);

    show_page(0);
    step("update");
    form.click(Control::Button3);
    for (int i = 0; i < 8; ++i) tick();
    step("close");
    form.FormClose();
}
