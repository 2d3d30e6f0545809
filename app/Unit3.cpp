#include "app/Unit3.h"

#include "app/jpeg_decode.h"
#include "resources/logo/logo.h"

#include "toolkit/fonts.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QScreen>

TForm3* Form3 = nullptr;

namespace {

const QColor kMaroon(0x80, 0x00, 0x00);

} // namespace

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    Form3 = this;
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("K&V - ANEMÔMETROS"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(toolkit::msSansSerif(11, false));
    QPalette background = palette();
    background.setColor(QPalette::Window, background.color(QPalette::Midlight));
    setPalette(background);
    setAutoFillBackground(true);
    applyOuterSize();

    image_ = new QLabel(this);
    image_->setObjectName(QStringLiteral("Image1"));
    image_->setAccessibleName(QStringLiteral("Logotipo K&V"));
    image_->setGeometry(8, 8, 321, 193);
    image_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    version_ = new QLabel(QStringLiteral("VERSÃO: 1.5"), this);
    version_->setObjectName(QStringLiteral("Label1"));
    version_->setFont(toolkit::msSansSerif(16, true));
    QPalette label = version_->palette();
    label.setColor(QPalette::WindowText, kMaroon);
    label.setColor(QPalette::Window, label.color(QPalette::Base));
    version_->setPalette(label);
    version_->setAutoFillBackground(true);
    version_->move(112, 168);
    version_->adjustSize();
    version_->raise();
    // The logo is decoded when the window is first shown: until then libjpeg is not loaded.
}

TForm3::~TForm3() {
    if (Form3 == this)
        Form3 = nullptr;
}

void TForm3::showLogo(const QByteArray& jpegBytes) {
    logoShown_ = true;
    const QImage picture = about::decodeJpeg(jpegBytes);
    if (picture.isNull())
        image_->clear();
    else
        image_->setPixmap(QPixmap::fromImage(picture));
}

void TForm3::showEvent(QShowEvent* event) {
    if (!logoShown_)
        showLogo(logo::jpegBytes());
    QDialog::showEvent(event);
    applyOuterSize(); // the frame is known only once the window is shown
    if (!placed_)
        centreOnScreen();
}

void TForm3::applyOuterSize() {
    const QSize frame = frameGeometry().size() - geometry().size();
    setFixedSize(kOuterSize - frame);
}

void TForm3::keyPressEvent(QKeyEvent* event) {
    // The window has no buttons: it closes with its close button or the system menu only.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// Only the first showing: afterwards the window reappears wherever the user left it.
void TForm3::centreOnScreen() {
    const QScreen* shownOn = screen();
    if (!shownOn)
        return;
    QRect outer(frameGeometry().topLeft(), kOuterSize);
    outer.moveCenter(shownOn->geometry().center());
    move(outer.topLeft());
    placed_ = true;
}
