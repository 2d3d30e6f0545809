#pragma once

#include <QFrame>
#include <QString>

#include <array>
#include <optional>

class QLabel;

namespace readings {

// Colours as the station's design gives them: Windows colour references, red in the lowest byte.
QColor colourFromReference(unsigned reference);
inline constexpr unsigned kColourAlarm = 255;       // pure red
inline constexpr unsigned kColourNoAlarm = 65280;   // pure green
inline constexpr unsigned kColourSilver = 12632256; // silver, the presets' colour at rest
inline constexpr unsigned kColourNameBar = 215;     // dark red name bar

// One station's panel on the main window: name bar, four state icons, speed and direction,
// and the two alarm presets. Built from one layout for all eight stations.
class StationPanel : public QFrame {
    Q_OBJECT

public:
    enum class Icon { Communication, Battery, Sound, Rf };

    StationPanel(int station, QWidget* parent);

    int station() const { return station_; }

    QLabel* nameBar() const { return nameBar_; }
    QLabel* speedLabel() const { return speed_; }
    QLabel* directionLabel() const { return direction_; }
    QLabel* preset1() const { return preset1_; }
    QLabel* preset2() const { return preset2_; }
    QLabel* image(Icon icon) const;

    // Labels size themselves to their text, as on the original panels.
    void setSpeedText(const QString& text);
    void setDirectionText(const QString& text);
    void setPresetText(int preset, const QString& text);
    void setPresetColour(int preset, unsigned colourReference);
    void setName(const QString& name);
    QString name() const;

    // Loads an icon file (ICO) given at run time into one of the four image boxes; a missing
    // or unreadable file is a failure for the standard error report.
    void loadIcon(Icon icon, const QString& path);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* makeLabel(const QString& objectName, const QString& text, QRect geometry, int pixelSize,
                      bool bold);
    QLabel* makeImage(const QString& objectName, QRect geometry, const QString& builtIn,
                      const QString& accessibleName);
    QLabel* makeInnerPanel(const QString& objectName, const QString& text, QRect geometry);

    int station_;
    QLabel* nameBar_ = nullptr;
    QLabel* speed_ = nullptr;
    QLabel* direction_ = nullptr;
    QLabel* preset1_ = nullptr;
    QLabel* preset2_ = nullptr;
    QLabel* imageCom_ = nullptr;
    QLabel* imageBat_ = nullptr;
    QLabel* imageSound_ = nullptr;
    QLabel* imageRf_ = nullptr;
    std::array<QString, 4> iconPaths_;                     // by Icon, the file each box shows
    std::array<std::optional<unsigned>, 2> presetColours_; // the presets' colour references
};

} // namespace readings
