#pragma once

#include <QDialog>

class QLabel;

// The about window: the maker's logo and the program's version.
class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    QLabel* image() const { return image_; }
    QLabel* versionLabel() const { return version_; }

private:
    QLabel* image_ = nullptr;
    QLabel* version_ = nullptr;
};

extern TForm3* Form3;
