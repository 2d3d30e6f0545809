#pragma once

#include "config/config_file.h"
#include "modbus/stations.h"
#include "serial/port_list.h"

#include <QDialog>

#include <array>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;
class QLineEdit;

namespace bus {
class StationBus;
}

namespace settings {
class StationSettings;
}

namespace config {
class LogsTab;
class ScanPanel;
class StationEdit;
} // namespace config

// Fills the port box with the machine's serial devices, read from a directory laid out like
// /sys/class/tty (on Windows, the registry key that lists the COM ports), then with the stable
// names of its USB adapters, read from devDir/serial (/dev/serial/by-id/...,
// /dev/serial/by-path/...). A list that cannot be read leaves the box exactly as it was.
void FillPortList(QComboBox* box,
                  const QString& ttyClassDir = QString::fromLatin1(serial::kPortListSource),
                  const QString& devDir = QStringLiteral("/dev"));

// The configuration window. Its controls write the station settings when each change takes
// effect: the port, the rate, an address, a log switch and the read interval as they are
// edited, the station count as it is chosen, the names and the cycle pause on saving. It stops
// and restarts the bus's timers as its design says.
class TForm2 : public QDialog {
    Q_OBJECT

public:
    TForm2(settings::StationSettings& settings, bus::StationBus& bus, QWidget* parent = nullptr);
    ~TForm2() override;

    // What the controls hold now.
    QString portName() const;
    QString baudText() const;
    QString stationCountText() const;
    QString nameText(int station) const;
    QString addressText(int station) const;
    bool logEnabled(int station) const;
    QString readIntervalText() const;

    void selectFirstPage();
    // The addresses a bus search found, in order, into the address edits, and their number as
    // the station count; nothing is saved.
    void useFoundAddresses(const std::vector<int>& addresses);

    // Handlers, under the names the station's design gives them.
    void FormCreate();
    void ComboBox1Change();
    void ComboBoxRedeChange();
    // Focus leaving a name edit (Edit1Exit, Edit3Exit ...) or an address edit (Edit2Exit ...).
    void nameEditExit(int station);
    void addressEditExit(int station);
    void BotaoSalvaConfigClick();
    void FormClose();
    void BT_ProcurarClick();
    void BT_AbrirClick();
    QString GetMyDocuments() const;

    // Controls, for the main window's menu command and for tests.
    QTabWidget* pageControl() const { return pageControl_; }
    QComboBox* comboBoxPorta() const { return comboPorta_; }
    QComboBox* comboBoxVelocidade() const { return comboVelocidade_; }
    QComboBox* comboBoxRede() const { return comboRede_; }
    QLineEdit* readIntervalEdit() const;
    config::StationEdit* nameEdit(int station) const;
    config::StationEdit* addressEdit(int station) const;
    QCheckBox* logBox(int station) const;
    QFrame* stationRow(int station) const;
    QPushButton* saveButton() const { return saveButton_; }
    QListWidget* logList() const;
    QPushButton* searchButton() const;
    QPushButton* openButton() const;
    config::ScanPanel* scanPanel() const { return scanPanel_; }

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildTitle();
    void buildConnectionTab(QWidget* tab);
    void buildStationsTab(QWidget* tab);
    void buildStationRow(int station, QWidget* tab);
    void connectHandlers();
    void loadConfiguration();
    // The configuration as the controls hold it, the cycle pause as in force.
    settings::StationConfig currentConfig() const;

    settings::StationSettings& settings_;
    bus::StationBus& bus_;
    QTabWidget* pageControl_ = nullptr;
    QComboBox* comboPorta_ = nullptr;
    QComboBox* comboVelocidade_ = nullptr;
    QComboBox* comboRede_ = nullptr;
    QLineEdit* edit17_ = nullptr;
    std::array<QFrame*, kStations> rows_{};
    std::array<config::StationEdit*, kStations> nameEdits_{};
    std::array<config::StationEdit*, kStations> addressEdits_{};
    std::array<QCheckBox*, kStations> logBoxes_{};
    QPushButton* saveButton_ = nullptr;
    std::unique_ptr<config::LogsTab> logsTab_;
    config::ScanPanel* scanPanel_ = nullptr;
};

extern TForm2* Form2;
