#pragma once

#include <QDialog>

class QByteArray;
class QLabel;

// The about window: the maker's logo and the program's version. Created hidden at start-up
// and kept until the program ends; "Sobre" only shows it, closing only hides it.
class TForm3 : public QDialog {
    Q_OBJECT

public:
    static constexpr QSize kOuterSize{338, 235};

    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    // Shows the picture in Image1; bytes that do not decode leave the window without one. The
    // window shows its logo the first time it is shown, unless given a picture before.
    void showLogo(const QByteArray& jpegBytes);

    QLabel* image() const { return image_; }
    QLabel* versionLabel() const { return version_; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applyOuterSize();
    void centreOnScreen();

    QLabel* image_ = nullptr;
    QLabel* version_ = nullptr;
    bool placed_ = false;
    bool logoShown_ = false;
};

extern TForm3* Form3;
