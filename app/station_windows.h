#pragma once

#include "app/Unit3.h"
#include "app/comm_Unit1.h"
#include "config/Unit2.h"
#include "toolkit/timer.h"

#include <memory>

// The three windows of the station, created in their fixed order: the main window, made
// visible, then the configuration window and the about window, both hidden. No timer ticks
// while they are built, even under a box that a creation handler raises: the first ticks come
// from the message loop, once all three exist.
class StationWindows {
public:
    StationWindows() {
        form1 = std::make_unique<TForm1>();
        form1->show();
        form2 = std::make_unique<TForm2>(*form1, form1.get());
        form3 = std::make_unique<TForm3>(form1.get());
        startup_.release();
    }

private:
    toolkit::StartupHold startup_;

public:
    // Destroyed in reverse: the two dialogs before the main window that is their parent.
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
    std::unique_ptr<TForm3> form3;
};
