#include "Unit3.h"

#include <QLabel>

TForm3* Form3 = nullptr;

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    Form3 = this;
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("K&V - ANEMÔMETROS"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(330, 201);

    image_ = new QLabel(this);
    image_->setObjectName(QStringLiteral("Image1"));
    image_->setGeometry(8, 8, 321, 193);
    image_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    version_ = new QLabel(QStringLiteral("VERSÃO: 1.5"), this);
    version_->setObjectName(QStringLiteral("Label1"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(16);
    font.setBold(true);
    version_->setFont(font);
    version_->setAutoFillBackground(true);
    version_->setStyleSheet(QStringLiteral("#Label1 { color: #800000; background-color: white; }"));
    version_->move(112, 168);
    version_->adjustSize();
}

TForm3::~TForm3() {
    if (Form3 == this)
        Form3 = nullptr;
}
