#include "toolkit/deferred_icons.h"

#include <QApplication>
#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>

#include <functional>
#include <optional>

namespace toolkit {

namespace {

// An icon made when it is first drawn or measured.
class DeferredIcon : public QIconEngine {
public:
    // `null` answers isNull() without making the icon.
    DeferredIcon(std::function<QIcon()> make, std::optional<bool> null)
        : make_(std::move(make)), null_(null) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        return icon().pixmap(size, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return icon().availableSizes(mode, state);
    }
    bool isNull() override { return null_ ? *null_ : icon().isNull(); }
    QIconEngine* clone() const override { return new DeferredIcon(*this); }
    QString key() const override { return QStringLiteral("anemometros-deferred"); }

private:
    const QIcon& icon() {
        if (!icon_)
            icon_ = make_();
        return *icon_;
    }
    std::function<QIcon()> make_;
    std::optional<bool> null_;
    std::optional<QIcon> icon_;
};

class DeferringStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap which, const QStyleOption* option,
                       const QWidget* widget) const override {
        // The menu bar's overflow button: the icon asked for at start.
        if (which == SP_ToolBarHorizontalExtensionButton ||
            which == SP_ToolBarVerticalExtensionButton)
            return QIcon(new DeferredIcon(
                [style = QPointer<const QProxyStyle>(this), which] {
                    // The style under the proxy; the application's if this one has gone since.
                    return style ? style->QProxyStyle::standardIcon(which, nullptr, nullptr)
                                 : QApplication::style()->standardIcon(which);
                },
                std::nullopt));
        return QProxyStyle::standardIcon(which, option, widget);
    }
};

} // namespace

QIcon deferredIcon(const QString& path) {
    return QIcon(new DeferredIcon([path] { return QIcon(path); }, !QFile::exists(path)));
}

void deferStandardIcons() {
    // The style in force (the one -style chose, or the platform's) goes on under the proxy.
    QApplication::setStyle(new DeferringStyle(QApplication::style()->name()));
}

} // namespace toolkit
