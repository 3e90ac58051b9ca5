// One status tick of the main window against the simulated module on the simulated bus, with
// the module's application on each page that polls registers (and one that polls none), and
// with the loader. The view does nothing, so the figures are the logic's, the protocol's and
// the simulation's own cost.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/Unit1.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

namespace {

class NullView : public View {
public:
    void set_text(Control, const std::string&) override {}
    std::string text(Control) const override { return {}; }
    void set_enabled(Control, bool) override {}
    bool checked(Control) const override { return false; }
    void set_red(Control, bool) override {}
    void list_clear(Control) override {}
    void list_append(Control, const std::string&) override {}
    void combo_set_items(Control, const std::vector<std::string>&) override {}
    int combo_count(Control) const override { return 0; }
    int combo_index(Control) const override { return -1; }
    void combo_select(Control, int) override {}
    int active_page() const override { return page; }
    void set_active_page(int index) override { page = index; }
    void set_cursor(CursorShape) override {}
    void set_progress(int) override {}
    void repaint() override {}
    void keep_alive() override {}
    void drop_input() override {}
    void set_timer_enabled(Control, bool) override {}
    bool ask_yes_no(const std::string&, const std::string&) override { return false; }
    void show_message(const std::string&, const std::string&) override {}
    void show_error(const std::string&) override {}
    bool open_file_dialog(std::string&) override { return false; }
    bool save_file_dialog(std::string&) override { return false; }
    int page = 0;
};

void run_ticks(benchmark::State& state, int page, bool loader, bool cpu_running)
{
    SimModule module;
    SimBus bus;
    bus.add_interface(module);
    // A few other HID devices on the bus, as on a real PC.
    ForeignDevice keyboard(0x046D, 0xC31C), mouse(0x046D, 0xC077);
    bus.add_interface(keyboard);
    bus.add_interface(mouse);
    module.set_cpu_running(cpu_running);
    if (loader) module.set_form(SimModule::Form::loader);

    NullView view;
    TMainForm form(view, bus, CarriedImage{});
    form.FormCreate();
    view.page = page;
    for (auto _ : state) {
        form.Timer1Timer();
        module.clear_commands();  // keeps the module's log from growing over the run
    }
    state.counters["reports_per_tick"] =
        benchmark::Counter(static_cast<double>(bus.reports()) / static_cast<double>(state.iterations()));
}

void BM_Tick_Config(benchmark::State& s) { run_ticks(s, page_config, false, false); }
void BM_Tick_KeBfos(benchmark::State& s) { run_ticks(s, page_ke_bfos, false, false); }
void BM_Tick_KipBos(benchmark::State& s) { run_ticks(s, page_kip_bos, false, false); }
void BM_Tick_KpDac(benchmark::State& s) { run_ticks(s, page_kp_dac, false, false); }
void BM_Tick_Ea(benchmark::State& s) { run_ticks(s, page_ea, false, false); }
void BM_Tick_Loader(benchmark::State& s) { run_ticks(s, page_config, true, false); }

}  // namespace

BENCHMARK(BM_Tick_Config);
BENCHMARK(BM_Tick_KeBfos);
BENCHMARK(BM_Tick_KipBos);
BENCHMARK(BM_Tick_KpDac);
BENCHMARK(BM_Tick_Ea);
BENCHMARK(BM_Tick_Loader);

BENCHMARK_MAIN();
