#pragma once
// A LinkTimer over a QTimer that its owner makes and keeps.

#include <QTimer>

#include "app/link/link_timer.h"

namespace kovrin {

class QtLinkTimer : public LinkTimer {
public:
    QTimer* timer = nullptr;  // set before the session first runs

    void Start() override { timer->start(); }
    void Start(int ms) override { timer->start(ms); }
    void Stop() override { timer->stop(); }
};

}  // namespace kovrin
