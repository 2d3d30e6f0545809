#pragma once

#include "bus/bus_scan.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace config {

// "PROCURAR ESTAÇÕES" on the CONEXÃO tab: asks addresses 1 to 247 on the chosen port and speed,
// one after another, and lists the stations that answer. "USAR ENDEREÇOS" hands their
// addresses to the ANEMÔMETROS tab; nothing is saved until "SALVAR CONFIGURAÇÕES". The port is
// open only while the search runs.
class ScanPanel : public QWidget {
    Q_OBJECT

public:
    struct Window {
        std::function<QString()> portName;
        std::function<QString()> baudText;
        std::function<void(const std::vector<int>& addresses)> useAddresses;
    };

    ScanPanel(Window window, QWidget* parent);
    ~ScanPanel() override;

    void start();
    void cancel();
    bool running() const { return next_ != 0; }
    const std::vector<bus::BusScan::Found>& found() const { return found_; }

    QPushButton* searchButton() const { return search_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* useButton() const { return use_; }
    QProgressBar* progress() const { return progress_; }
    QListWidget* foundList() const { return list_; }
    QLabel* countLabel() const { return count_; }

private:
    void step();
    void answered(int address, const std::optional<bus::BusScan::Found>& station);
    void finish();

    Window window_;
    bus::BusScan scan_;
    int next_ = 0; // the address asked next, 0 when no search runs
    std::vector<bus::BusScan::Found> found_;
    QPushButton* search_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* use_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* count_ = nullptr;
    QListWidget* list_ = nullptr;
};

} // namespace config
