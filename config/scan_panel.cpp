#include "config/scan_panel.h"

#include "readings/reply.h"
#include "serial/open_messages.h"
#include "toolkit/messages.h"

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace config {

namespace {

QString countText(std::size_t count) {
    return QStringLiteral("Estações encontradas: %1").arg(count);
}

// "Endereço 17: 12,3 km/h NNE, bateria 3,70 V"
QString foundText(const bus::BusScan::Found& found) {
    const readings::Reading reading = readings::readingOf(found.values, 1);
    return QStringLiteral("Endereço %1: %2 %3, bateria %4 V")
        .arg(found.address)
        .arg((reading.speedText + reading.unitSuffix).trimmed(), reading.directionText,
             reading.batteryText);
}

} // namespace

ScanPanel::ScanPanel(Window window, QWidget* parent) : QWidget(parent), window_(std::move(window)) {
    setObjectName(QStringLiteral("ProcurarEstacoes"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    search_ = new QPushButton(QStringLiteral("PROCURAR ESTAÇÕES"), this);
    search_->setObjectName(QStringLiteral("BT_ProcurarEstacoes"));
    progress_ = new QProgressBar(this);
    progress_->setRange(0, bus::BusScan::kLastAddress);
    progress_->setValue(0);
    progress_->setFormat(QStringLiteral("endereço %v de %m"));
    progress_->setAccessibleName(QStringLiteral("Progresso da procura"));
    count_ = new QLabel(countText(0), this);
    cancel_ = new QPushButton(QStringLiteral("Cancelar"), this);
    cancel_->setEnabled(false);
    list_ = new QListWidget(this);
    list_->setAccessibleName(QStringLiteral("Estações encontradas"));
    use_ = new QPushButton(QStringLiteral("USAR ENDEREÇOS"), this);
    use_->setEnabled(false);
    for (QPushButton* button : {search_, cancel_, use_})
        button->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addWidget(count_, 1);
    row->addWidget(cancel_);
    layout->addWidget(search_);
    layout->addWidget(progress_);
    layout->addLayout(row);
    layout->addWidget(list_, 1);
    layout->addWidget(use_);

    connect(search_, &QPushButton::clicked, this,
            [this] { toolkit::guarded([this] { start(); }); });
    connect(cancel_, &QPushButton::clicked, this, &ScanPanel::cancel);
    connect(&scan_, &bus::BusScan::answered, this, &ScanPanel::answered);
    connect(use_, &QPushButton::clicked, this, [this] {
        std::vector<int> addresses;
        for (const bus::BusScan::Found& station : found_)
            addresses.push_back(station.address);
        toolkit::guarded([&] { window_.useAddresses(addresses); });
    });
}

ScanPanel::~ScanPanel() {
    scan_.close();
}

void ScanPanel::start() {
    if (running())
        return;
    const QString portName = window_.portName();
    const QString lineParameters = window_.baudText() + QStringLiteral(",N,8,1");
    const serial::OpenResult opened =
        scan_.open(portName.toStdString(), lineParameters.toStdString());
    if (!opened.ok) {
        const std::string message = serial::openFailureMessage(
            opened.failedStep, portName.toStdString(), lineParameters.toStdString(), opened.error);
        toolkit::showMessage(QString::fromStdString(message));
        scan_.close();
        return;
    }
    found_.clear();
    list_->clear();
    count_->setText(countText(0));
    progress_->setValue(0);
    use_->setEnabled(false);
    search_->setEnabled(false);
    cancel_->setEnabled(true);
    next_ = bus::BusScan::kFirstAddress;
    QTimer::singleShot(0, this, &ScanPanel::step);
}

// The next address is asked once the answer of the one before has come; meanwhile the
// message loop runs, so that "Cancelar" and the window stay usable.
void ScanPanel::step() {
    if (running())
        scan_.ask(static_cast<std::uint8_t>(next_));
}

void ScanPanel::answered(int address, const std::optional<bus::BusScan::Found>& station) {
    if (!running() || address != next_)
        return;
    if (station) {
        found_.push_back(*station);
        list_->addItem(foundText(*station));
        count_->setText(countText(found_.size()));
    }
    progress_->setValue(address);
    if (address >= bus::BusScan::kLastAddress) {
        finish();
        return;
    }
    next_ = address + 1;
    QTimer::singleShot(0, this, &ScanPanel::step);
}

void ScanPanel::cancel() {
    if (running())
        finish();
}

void ScanPanel::finish() {
    next_ = 0;
    scan_.close();
    search_->setEnabled(true);
    cancel_->setEnabled(false);
    use_->setEnabled(!found_.empty());
}

} // namespace config
