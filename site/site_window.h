#pragma once

#include "site/site_trace.h"

#include <QHash>
#include <QMainWindow>

#include <functional>
#include <map>
#include <utility>

class QLabel;
class QMenu;
class QPushButton;
class QScrollArea;

namespace site {

class SiteBook;
class SiteTile;
struct SiteStation;
class TileGrid;

// The site view's window: every station of every station PC followed, grouped by PC, with a
// red line at the top while the broker is away and the count of alarms not acknowledged.
// "Controle" holds "Alarmes" and "Sair", and "Histórico" when the site's archive is set.
class SiteWindow : public QMainWindow {
    Q_OBJECT

public:
    SiteWindow(SiteBook& book, QString brokerName, std::function<qint64()> nowMs,
               QWidget* parent = nullptr);

    // Why the last connection attempt failed, shown under the red line; empty while none.
    void setBrokerProblem(const QString& text);
    // What makes the acknowledgements sent from here unsafe, on a line under the broker's.
    void setConnectionWarning(const QString& text);

    SiteTile* tile(const QString& prefix, int station) const;
    QLabel* brokerLine() const { return broker_; }
    QLabel* warningLine() const { return warning_; }
    QLabel* heading(const QString& prefix) const;
    QLabel* aheadLine() const { return ahead_; }
    QPushButton* alarmButton() const { return alarmButton_; }
    QScrollArea* scrollArea() const { return scroll_; }
    // Every tile and line again, as time makes readings old.
    void refresh();
    // "Histórico" after the other items of "Controle", with the site's archive set.
    void addHistoryItem();

signals:
    void alarmsRequested();
    void quitRequested();
    void historyRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    using Key = std::pair<QString, int>;

    void buildMenu();
    void rebuildSoon();
    void rebuild();
    // With `trace`, a state shown as current for the first time goes to the site's trace.
    void showStation(const SiteStation& station, qint64 nowMs, bool trace);
    void showPc(const QString& prefix);
    void showHeading(const QString& prefix);
    void showBroker();
    void showAlarmCount();
    QString whyNotCurrent(const SiteStation& station, qint64 nowMs) const;

    SiteBook& book_;
    QString brokerName_;
    std::function<qint64()> nowMs_;
    QString brokerProblem_;
    QMenu* controle_ = nullptr;
    QLabel* broker_;
    QLabel* warning_;
    QPushButton* alarmButton_;
    QScrollArea* scroll_;
    TileGrid* grid_;
    QLabel* ignored_;
    QLabel* ahead_;
    QHash<Key, SiteTile*> tiles_;
    std::map<QString, QLabel*> headings_;
    bool rebuildDue_ = false;
    // The trace lines of the messages read together, written once they are all shown.
    TraceLines trace_;
    bool traceDue_ = false;
    bool closing_ = false;
};

} // namespace site
