#include "demo/demo_module.h"

DemoModule::DemoModule(std::uint32_t carried_version, QObject* parent)
    : QObject(parent), core_(carried_version)
{
    clock_.setInterval(100);
    connect(&clock_, &QTimer::timeout, this, [this] { core_.advance_to(elapsed_.elapsed()); });
}

void DemoModule::start()
{
    elapsed_.start();
    core_.restart();
    clock_.start();
}
