#include "config/Unit2.h"

#include "bus/station_bus.h"
#include "config/log_browser.h"
#include "config/scan_panel.h"
#include "config/station_edit.h"
#include "config/window_controls.h"
#include "serial/port_list.h"
#include "settings/station_settings.h"
#include "toolkit/deferred_icons.h"
#include "toolkit/documents.h"
#include "toolkit/failure.h"
#include "toolkit/fonts.h"
#include "toolkit/messages.h"
#include "toolkit/screen_fit.h"
#include "toolkit/timer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

TForm2* Form2 = nullptr;

namespace {

constexpr QSize kClientSize{619, 435};
constexpr QPoint kScreenPosition{678, 263};
constexpr int kNameTypedLimit = 20;
constexpr int kAddressTypedLimit = 3;

} // namespace

TForm2::TForm2(settings::StationSettings& settings, bus::StationBus& bus, QWidget* parent)
    : QDialog(parent), settings_(settings), bus_(bus) {
    Form2 = this;
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("K&V - ANEMÔMETROS"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(kClientSize);
    move(kScreenPosition);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setFont(toolkit::msSansSerif(11));

    buildTitle();
    pageControl_ = new QTabWidget(this);
    pageControl_->setObjectName(QStringLiteral("PageControl1"));
    pageControl_->setGeometry(8, 48, 603, 330);
    // The three tabs are drawn as buttons.
    pageControl_->setStyleSheet(QStringLiteral(
        "QTabBar::tab { border: 2px outset #c0c0c0; background: #e0e0e0; padding: 4px 14px;"
        " margin-right: 3px; font-weight: bold; }"
        "QTabBar::tab:selected { border-style: inset; background: #c8c8c8; }"));
    const std::array<std::pair<const char*, QString>, 3> tabs{{
        {"TabSheet1", QStringLiteral("CONEXÃO")},
        {"TabSheet2", QStringLiteral("ANEMÔMETROS")},
        {"TabSheet3", QStringLiteral("LOGS")},
    }};
    for (const auto& [name, caption] : tabs) {
        auto* page = new QWidget;
        page->setObjectName(QString::fromLatin1(name));
        pageControl_->addTab(page, caption);
    }
    buildConnectionTab(pageControl_->widget(0));
    buildStationsTab(pageControl_->widget(1));
    logsTab_ = std::make_unique<config::LogsTab>(pageControl_->widget(2));

    saveButton_ = new QPushButton(toolkit::deferredIcon(QStringLiteral(":/icons/button_save.png")),
                                  QStringLiteral("SALVAR CONFIGURAÇÕES"), this);
    saveButton_->setObjectName(QStringLiteral("BotaoSalvaConfig"));
    saveButton_->setFont(toolkit::arial(13, true));
    saveButton_->setIconSize(QSize(24, 24));
    saveButton_->setGeometry(190, 388, 240, 38);
    saveButton_->setAutoDefault(false);

    connectHandlers();
    toolkit::guarded([this] { FormCreate(); });
}

TForm2::~TForm2() {
    if (Form2 == this)
        Form2 = nullptr;
}

void TForm2::buildTitle() {
    auto* title = new QLabel(QStringLiteral("CONFIGURAÇÕES DE FUNCIONAMENTO"), this);
    title->setObjectName(QStringLiteral("PanelName"));
    title->setGeometry(0, 0, kClientSize.width(), 41);
    title->setAlignment(Qt::AlignCenter);
    title->setFont(toolkit::arial(19, true));
    title->setStyleSheet(QStringLiteral("#PanelName { background-color: #d70000; color: white; }"));
}

void TForm2::buildConnectionTab(QWidget* tab) {
    config::label(QStringLiteral("Label1"), QStringLiteral("PORTA DE COMUNICAÇÃO:"), tab, {24, 40});
    comboPorta_ = config::comboBox(QStringLiteral("ComboBoxPorta"), {}, tab, {24, 58, 200, 22});
    config::label(QStringLiteral("Label2"), QStringLiteral("VELOCIDADE DE COMUNICAÇÃO:"), tab,
                  {24, 100});
    comboVelocidade_ = config::comboBox(QStringLiteral("ComboBoxVelocidade"),
                                        {QStringLiteral("9600"), QStringLiteral("19200")}, tab,
                                        {24, 118, 200, 22});
    scanPanel_ = new config::ScanPanel(
        {.portName = [this] { return portName(); },
         .baudText = [this] { return baudText(); },
         .useAddresses = [this](const std::vector<int>& found) { useFoundAddresses(found); }},
        tab);
    scanPanel_->setGeometry(260, 12, 320, 280);
}

void TForm2::useFoundAddresses(const std::vector<int>& addresses) {
    const int count = std::min<int>(static_cast<int>(addresses.size()), kStations);
    for (int station = 1; station <= count; ++station)
        addressEdits_[stationSlot(station)]->setText(
            QString::number(addresses[stationSlot(station)]));
    comboRede_->setEditText(QString::number(count));
    ComboBoxRedeChange();
}

void TForm2::buildStationsTab(QWidget* tab) {
    // Each field starts just right of its label, whatever width the font gives the label.
    const QLabel* countLabel = config::label(
        QStringLiteral("Label28"), QStringLiteral("N° DE ANEMÔMETROS NA REDE:"), tab, {8, 12});
    QStringList counts;
    for (int n = 1; n <= kStations; ++n)
        counts << QString::number(n);
    comboRede_ = config::comboBox(QStringLiteral("ComboBoxRede"), counts, tab,
                                  {countLabel->geometry().right() + 6, 8, 70, 22});
    const QLabel* intervalLabel =
        config::label(QStringLiteral("Label3"), QStringLiteral("VELOCIDADE DE LEITURA (seg):"), tab,
                      {comboRede_->geometry().right() + 24, 12});
    edit17_ = new QLineEdit(QStringLiteral("5"), tab);
    edit17_->setObjectName(QStringLiteral("Edit17"));
    edit17_->setGeometry(intervalLabel->geometry().right() + 6, 8, 50, 22);
    for (int station = 1; station <= kStations; ++station)
        buildStationRow(station, tab);
}

void TForm2::buildStationRow(int station, QWidget* tab) {
    const int column = (station - 1) % 4;
    const int rowOfFour = (station - 1) / 4;
    auto* row = new QFrame(tab);
    row->setObjectName(QStringLiteral("Panel%1").arg(station));
    row->setFrameStyle(QFrame::Panel | QFrame::Raised);
    row->setGeometry(4 + column * 148, 38 + rowOfFour * 130, 144, 124);

    auto* title = config::label(QStringLiteral("LabelTitulo%1").arg(station),
                                settings::defaultStationName(station), row, {8, 4});
    title->setFont(toolkit::arial(13, true));
    title->setStyleSheet(QStringLiteral("color: #800000;"));
    title->adjustSize();
    config::label(QStringLiteral("LabelNome%1").arg(station), QStringLiteral("NOME:"), row,
                  {8, 26});
    auto* name = new config::StationEdit(kNameTypedLimit, config::nameKeyDiscarded, row);
    name->setObjectName(QStringLiteral("Edit%1").arg(2 * station - 1));
    name->setGeometry(8, 42, 128, 21);
    const QLabel* addressLabel = config::label(QStringLiteral("LabelModbus%1").arg(station),
                                               QStringLiteral("N° MODBUS:"), row, {8, 72});
    auto* address = new config::StationEdit(kAddressTypedLimit, config::addressKeyDiscarded, row);
    address->setObjectName(QStringLiteral("Edit%1").arg(2 * station));
    address->setGeometry(addressLabel->geometry().right() + 6, 68, 40, 21);
    auto* log = new QCheckBox(QStringLiteral("SALVAR LOG"), row);
    log->setObjectName(QStringLiteral("CheckBoxLog%1").arg(station));
    log->setGeometry(8, 96, 128, 20);

    rows_[stationSlot(station)] = row;
    nameEdits_[stationSlot(station)] = name;
    addressEdits_[stationSlot(station)] = address;
    logBoxes_[stationSlot(station)] = log;
}

void TForm2::connectHandlers() {
    const auto handle = [this](auto handler) {
        return [this, handler] { toolkit::guarded([this, handler] { (this->*handler)(); }); };
    };
    // The station count applies at every change the user makes, typed or chosen.
    connect(comboRede_->lineEdit(), &QLineEdit::textEdited, this, handle(&TForm2::ComboBox1Change));
    connect(comboRede_, &QComboBox::activated, this, handle(&TForm2::ComboBox1Change));
    // What takes effect as it is edited goes into the settings at once.
    connect(comboPorta_, &QComboBox::currentTextChanged, &settings_,
            &settings::StationSettings::setPortName);
    connect(comboVelocidade_, &QComboBox::currentTextChanged, &settings_,
            &settings::StationSettings::setBaudText);
    connect(edit17_, &QLineEdit::textChanged, &settings_,
            &settings::StationSettings::setReadIntervalText);
    for (int station = 1; station <= kStations; ++station) {
        connect(nameEdits_[stationSlot(station)], &config::StationEdit::exited, this,
                [this, station] { toolkit::guarded([this, station] { nameEditExit(station); }); });
        connect(
            addressEdits_[stationSlot(station)], &config::StationEdit::exited, this,
            [this, station] { toolkit::guarded([this, station] { addressEditExit(station); }); });
        connect(addressEdits_[stationSlot(station)], &QLineEdit::textChanged, &settings_,
                [this, station](const QString& text) { settings_.setAddressText(station, text); });
        connect(logBoxes_[stationSlot(station)], &QCheckBox::toggled, &settings_,
                [this, station](bool on) { settings_.setLogged(station, on); });
    }
    // From here on the settings follow the controls; they start from what the controls hold.
    settings_.setPortName(portName());
    settings_.setBaudText(baudText());
    settings_.setReadIntervalText(readIntervalText());
    for (int station = 1; station <= kStations; ++station) {
        settings_.setAddressText(station, addressText(station));
        settings_.setLogged(station, logEnabled(station));
    }
    connect(saveButton_, &QPushButton::clicked, this, [this] {
        toolkit::guarded([this] { BotaoSalvaConfigClick(); });
        // The button's modal result is OK: the window closes even after a failed save.
        accept();
    });
    connect(logsTab_->searchButton(), &QPushButton::clicked, this,
            handle(&TForm2::BT_ProcurarClick));
    connect(logsTab_->openButton(), &QPushButton::clicked, this, handle(&TForm2::BT_AbrirClick));
}

void TForm2::FormCreate() {
    FillPortList(comboPorta_);
    loadConfiguration();
    ComboBoxRedeChange();
    settings_.apply(settings_.config(), settings::Applied::Loaded);
}

// The controls from the file; what they hold takes effect as they change. The names go to the
// main window at once, the cycle pause last (a bad one fails after the rest is shown).
void TForm2::loadConfiguration() {
    const config::LoadedConfig loaded = config::readStationConfig(config::kConfigFileName);
    const settings::StationConfig& file = loaded.config;
    comboPorta_->setEditText(file.portName);
    comboVelocidade_->setEditText(file.baudRate.text);
    comboRede_->setEditText(file.stationCount.text);
    for (int station = 1; station <= kStations; ++station) {
        nameEdits_[stationSlot(station)]->setText(file.station(station).name);
        settings_.setName(station, nameEdits_[stationSlot(station)]->text());
        addressEdits_[stationSlot(station)]->setText(file.station(station).address.text);
    }
    for (int station = 1; station <= kStations; ++station)
        logBoxes_[stationSlot(station)]->setChecked(file.station(station).logged);
    edit17_->setText(file.readIntervalS.text);
    settings_.setCyclePauseMs(toolkit::StrToInt(loaded.cyclePauseText));
}

void TForm2::ComboBox1Change() {
    ComboBoxRedeChange();
}

void TForm2::ComboBoxRedeChange() {
    for (int station = 1; station <= kStations; ++station)
        rows_[stationSlot(station)]->hide();
    for (int station = 1; station <= kStations; ++station)
        settings_.setPolled(station, false);
    for (int station = 1; station <= kStations; ++station) {
        // Converted anew for each station, as the original does.
        if (toolkit::StrToInt(comboRede_->currentText()) < station)
            continue;
        rows_[stationSlot(station)]->show();
        settings_.setPolled(station, true);
    }
}

void TForm2::nameEditExit(int station) {
    config::StationEdit* edit = nameEdits_[stationSlot(station)];
    if (edit->text().isEmpty() || edit->text() == QStringLiteral(" "))
        edit->setText(settings::defaultStationName(station));
}

void TForm2::addressEditExit(int station) {
    config::StationEdit* edit = addressEdits_[stationSlot(station)];
    if (edit->text().isEmpty() || edit->text() == QStringLiteral(" "))
        edit->setText(QStringLiteral("0"));
}

// What the controls hold, the names with the rest, applied at once: whoever hears of the saving
// (the main window's panels and its "Salvo", the broker's lists) finds every name in force.
void TForm2::BotaoSalvaConfigClick() {
    settings_.apply(currentConfig(), settings::Applied::Saved);
    settings_.setCyclePauseMs(
        config::computeCyclePause(edit17_->text(), comboRede_->currentText()));
    bus_.controlTimer().setInterval(500);
    config::writeStationConfig(config::kConfigFileName, currentConfig());
}

settings::StationConfig TForm2::currentConfig() const {
    settings::StationConfig c = settings_.config();
    c.portName = portName();
    c.baudRate = settings::typedNumber(baudText());
    c.stationCount = settings::typedNumber(stationCountText());
    for (int station = 1; station <= kStations; ++station) {
        settings::StationEntry& entry = c.station(station);
        entry.name = nameText(station);
        entry.address = settings::typedNumber(addressText(station));
        entry.logged = logEnabled(station);
    }
    c.readIntervalS = settings::typedNumber(readIntervalText());
    return c;
}

void TForm2::FormClose() {
    bus_.openingTimer().setEnabled(true);
}

void TForm2::done(int result) {
    scanPanel_->cancel(); // the search never leaves the port open
    toolkit::guarded([this] { FormClose(); });
    QDialog::done(result);
}

void TForm2::keyPressEvent(QKeyEvent* event) {
    // Escape does not close the window; only its close button and the save button do.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// The window keeps its place where it fits; on a smaller screen it moves just enough to show
// whole, with its buttons.
void TForm2::showEvent(QShowEvent* event) {
    toolkit::keepWithinScreen(this);
    QDialog::showEvent(event);
}

void TForm2::BT_ProcurarClick() {
    // Emptied first, also when the Documents folder cannot be found.
    logsTab_->list()->clear();
    logsTab_->addFilesOf(GetMyDocuments() + QStringLiteral("/log_zareraziru/"));
}

void TForm2::BT_AbrirClick() {
    logsTab_->openChosenOf(GetMyDocuments() + QStringLiteral("/log_zareraziru/"));
}

QString TForm2::GetMyDocuments() const {
    return toolkit::documentsFolder();
}

void TForm2::selectFirstPage() {
    pageControl_->setCurrentIndex(0);
}

QString TForm2::portName() const {
    return comboPorta_->currentText();
}
QString TForm2::baudText() const {
    return comboVelocidade_->currentText();
}
QString TForm2::stationCountText() const {
    return comboRede_->currentText();
}
QString TForm2::readIntervalText() const {
    return edit17_->text();
}
QLineEdit* TForm2::readIntervalEdit() const {
    return edit17_;
}

QString TForm2::nameText(int station) const {
    return nameEdits_[stationSlot(station)]->text();
}

QString TForm2::addressText(int station) const {
    return addressEdits_[stationSlot(station)]->text();
}

bool TForm2::logEnabled(int station) const {
    return logBoxes_[stationSlot(station)]->isChecked();
}

config::StationEdit* TForm2::nameEdit(int station) const {
    return nameEdits_[stationSlot(station)];
}

config::StationEdit* TForm2::addressEdit(int station) const {
    return addressEdits_[stationSlot(station)];
}

QCheckBox* TForm2::logBox(int station) const {
    return logBoxes_[stationSlot(station)];
}

QFrame* TForm2::stationRow(int station) const {
    return rows_[stationSlot(station)];
}

QListWidget* TForm2::logList() const {
    return logsTab_->list();
}
QPushButton* TForm2::searchButton() const {
    return logsTab_->searchButton();
}
QPushButton* TForm2::openButton() const {
    return logsTab_->openButton();
}
