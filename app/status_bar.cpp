#include "app/status_bar.h"

#include "toolkit/text_label.h"

#include <QResizeEvent>
#include <QStatusBar>

namespace app {

namespace {

// Holds the last status panel and gives it its whole area at a fixed size.
class FillingHost : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            child->setFixedSize(size());
    }
};

} // namespace

std::array<QLabel*, 3> buildStatusPanels(QStatusBar* bar) {
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(20);
    std::array<QLabel*, 3> panels{};
    for (std::size_t i = 0; i < panels.size(); ++i) {
        QWidget* host = i < 2 ? static_cast<QWidget*>(bar) : new FillingHost(bar);
        auto* label = new toolkit::TextLabel(host);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        label->setAlignment(Qt::AlignCenter);
        label->setTextFormat(Qt::PlainText); // port names come from the configuration file
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAutoFillBackground(true);
        if (i < 2) {
            label->setFixedSize(40, 18);
            // A stable port name is far longer than the panel: its start and end show.
            label->setElidedInTheMiddle(i == 0);
            bar->addWidget(label);
        } else {
            host->setMinimumWidth(100);
            bar->addWidget(host, 1);
        }
        panels[i] = label;
    }
    return panels;
}

} // namespace app
