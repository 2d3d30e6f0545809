#pragma once

#include "alarms/alarm_table_model.h"
#include "site/site_book.h"

#include <QAbstractTableModel>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QPushButton;
class QTableView;

namespace site {

// The site's alarm list: LOCAL (the station PC) and then the columns of a station's own list,
// newest first, exactly as the station PCs publish their lists. The rows picked stay picked
// while the lists change (a peak that grows changes a list at every poll).
class SiteAlarmModel : public alarms::EntryTableModel {
    Q_OBJECT

public:
    explicit SiteAlarmModel(const SiteBook& book, QObject* parent = nullptr);

    // The station PC's prefix, the station's name as its PC names it, the entry.
    const Row& alarmAt(int row) const { return rowAt(row); }

protected:
    QVariant moreData(const Row& row, int column, int role) const override;

private:
    void refresh();

    const SiteBook& book_;
};

// "Alarmes do local": the list, RECONHECER for the alarms picked (sent to their station PCs,
// which decide; the list changes only with what they publish then) and SILENCIAR for the horn
// of this view. Not modal.
class SiteAlarmWindow : public QWidget {
    Q_OBJECT

public:
    explicit SiteAlarmWindow(SiteBook& book, QWidget* parent = nullptr);

    QTableView* table() const { return table_; }
    QPushButton* acknowledgeButton() const { return acknowledge_; }
    QPushButton* silenceButton() const { return silence_; }
    // A button for the whole list (TESTAR NOTIFICAÇÕES), after SILENCIAR.
    void addButton(QPushButton* button);
    // What became of the last acknowledgement asked for.
    void setNote(const QString& text);
    // Where it must cover part of the site's window, the list gives up rows, not columns: its
    // width as it stands, and room for a few rows.
    QSize minimumSizeHint() const override;

    static constexpr int kLeastRows = 5;

signals:
    // One alarm to acknowledge at its station PC.
    void acknowledgeRequested(const QString& prefix, int station, alarms::Kind kind);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void acknowledgeClicked();
    void updateButtons();
    void fitColumns();

    SiteBook& book_;
    SiteAlarmModel* model_;
    QTableView* table_;
    QPushButton* acknowledge_;
    QPushButton* silence_;
    QLabel* note_;
    QHBoxLayout* buttons_ = nullptr;
};

} // namespace site
