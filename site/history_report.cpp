#include "site/history_report.h"

#include "site/history_table.h"
#include "site/history_trend.h"
#include "toolkit/failure.h"

#include <QDateTime>
#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <array>
#include <cerrno>
#include <cmath>

namespace site {

namespace {

// The page in units of our own: 800 across an A4 page, whatever the writer's resolution.
constexpr double kWidth = 800;
constexpr double kHeight = kWidth * 297 / 210;
constexpr double kMargin = 40;
constexpr double kLine = 14;

QFont fontOf(double pixels, bool bold = false) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(int(pixels));
    font.setBold(bold);
    return font;
}

class Report {
public:
    Report(QPdfWriter& writer, const HistoryData& data, const QDateTime& madeAt)
        : writer_(writer), data_(data), madeAt_(madeAt) {}

    bool write() {
        if (!painter_.begin(&writer_))
            return false;
        const double scale = writer_.width() / kWidth;
        painter_.scale(scale, scale);
        for (int i = 0; i < data_.stations.size(); ++i)
            stationPage(i);
        alarmPages();
        return painter_.end();
    }

private:
    void newPage() {
        if (pages_++ > 0)
            writer_.newPage();
        painter_.setFont(fontOf(9));
        painter_.setPen(Qt::gray);
        painter_.drawText(QRectF(kMargin, kHeight - kMargin, kWidth - 2 * kMargin, kLine),
                          Qt::AlignLeft,
                          QStringLiteral("K&V ANEMÔMETROS - Histórico do local, %1 a %2 - gerado "
                                         "em %3")
                              .arg(data_.period.first.toString(u"dd/MM/yyyy"),
                                   data_.period.last.toString(u"dd/MM/yyyy"),
                                   madeAt_.toString(u"dd/MM/yyyy HH:mm")));
        painter_.drawText(QRectF(kMargin, kHeight - kMargin, kWidth - 2 * kMargin, kLine),
                          Qt::AlignRight, QStringLiteral("página %1").arg(pages_));
        painter_.setPen(Qt::black);
    }

    double heading(const QString& text, double y) {
        painter_.setFont(fontOf(16, true));
        painter_.drawText(QRectF(kMargin, y, kWidth - 2 * kMargin, 24), Qt::AlignLeft, text);
        return y + 28;
    }

    void stationPage(int index) {
        const ArchiveStation& station = data_.stations[index];
        newPage();
        double y = heading(station.label(), kMargin);
        painter_.setFont(fontOf(11));
        painter_.drawText(QPointF(kMargin, y + 10),
                          QStringLiteral("Estação %1 de %2, de %3 a %4%5")
                              .arg(station.key.number)
                              .arg(station.key.local, data_.period.first.toString(u"dd/MM/yyyy"),
                                   data_.period.last.toString(u"dd/MM/yyyy"),
                                   station.unit.isEmpty()
                                       ? QString()
                                       : QStringLiteral(", velocidades em %1").arg(station.unit)));
        y = trend(index, QRectF(kMargin + 30, y + 30, kWidth - 2 * kMargin - 30, 260));
        table(station, y + 20);
    }

    // The station's line with its preset levels; returns the bottom of the time labels.
    double trend(int index, const QRectF& area) {
        const StationKey& key = data_.stations[index].key;
        const auto runsOfLine = [&](const std::map<StationKey, Runs>& lines) {
            const auto found = lines.find(key);
            return found == lines.end() ? Runs() : found->second;
        };
        const Runs speed = runsOfLine(data_.speed);
        const Runs preset1 = runsOfLine(data_.preset1);
        const Runs preset2 = runsOfLine(data_.preset2);
        double highest = 1;
        for (const Runs* runs : {&speed, &preset1, &preset2}) {
            for (const QList<QPointF>& run : *runs) {
                for (const QPointF& point : run)
                    highest = std::max(highest, point.y());
            }
        }
        const double step = std::pow(10.0, std::floor(std::log10(highest)));
        const double top = std::ceil(highest * 1.05 / step) * step;
        const double fromMs = double(startMs(data_.period.first));
        const double toMs = double(startMs(data_.period.last.addDays(1)));
        const auto at = [&](const QPointF& point) {
            return QPointF(area.left() + (point.x() - fromMs) / (toMs - fromMs) * area.width(),
                           area.bottom() - point.y() / top * area.height());
        };
        painter_.setFont(fontOf(9));
        painter_.setPen(QPen(Qt::lightGray, 0.5));
        for (int tick = 0; tick <= 5; ++tick) {
            const double value = top * tick / 5;
            const double y = at({fromMs, value}).y();
            painter_.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
            painter_.drawText(QRectF(area.left() - 34, y - 6, 30, 12), Qt::AlignRight,
                              QString::number(value, 'g', 4).replace(u'.', u','));
        }
        const int days = data_.period.days();
        const int every = std::max(1, days / 10);
        for (int day = 0; day <= days; day += every) {
            const QDate date = data_.period.first.addDays(day);
            const double x = at({double(startMs(date)), 0}).x();
            painter_.setPen(QPen(Qt::lightGray, 0.5));
            painter_.drawLine(QPointF(x, area.top()), QPointF(x, area.bottom()));
            painter_.setPen(Qt::black);
            painter_.drawText(QRectF(x - 25, area.bottom() + 2, 50, 12), Qt::AlignHCenter,
                              date.toString(u"dd/MM"));
        }
        painter_.setPen(QPen(Qt::black, 0.8));
        painter_.drawRect(area);
        const QColor colour = stationColour(index);
        const auto draw = [&](const Runs& runs, const QPen& pen) {
            painter_.setPen(pen);
            for (const QList<QPointF>& run : runs) {
                QPainterPath path(at(run.front()));
                for (const QPointF& point : run)
                    path.lineTo(at(point));
                painter_.drawPath(path);
            }
        };
        draw(preset1, QPen(QColor(230, 140, 0), 0.8, Qt::DashLine));
        draw(preset2, QPen(QColor(215, 0, 0), 0.8, Qt::DashLine));
        draw(speed, QPen(colour, 0.6));
        painter_.setPen(Qt::black);
        if (speed.isEmpty())
            painter_.drawText(area, Qt::AlignCenter, QStringLiteral("sem leituras no período"));
        return area.bottom() + 14;
    }

    void table(const ArchiveStation& station, double y) {
        static const std::array<double, 8> widths{80, 80, 100, 80, 70, 70, 100, 60};
        const QStringList& columns = dayColumns();
        const auto row = [&](const QStringList& cells, bool bold) {
            painter_.setFont(fontOf(10, bold));
            double x = kMargin;
            for (std::size_t i = 0; i < widths.size(); ++i) {
                painter_.drawText(QRectF(x, y, widths[i], kLine), Qt::AlignLeft | Qt::AlignVCenter,
                                  cells.value(int(i) + 1));
                x += widths[i];
            }
            y += kLine;
        };
        row(columns, true);
        for (const DayRow& day : data_.rows) {
            if (day.station != station.key)
                continue;
            if (y > kHeight - kMargin - 2 * kLine) {
                newPage();
                y = kMargin;
                row(columns, true);
            }
            row(dayCells(station, day), false);
        }
    }

    void alarmPages() {
        newPage();
        double y = heading(QStringLiteral("Alarmes"), kMargin);
        static const std::array<double, 6> widths{120, 190, 110, 70, 110, 120};
        const auto row = [&](const QStringList& cells, bool bold) {
            if (y > kHeight - kMargin - 2 * kLine) {
                newPage();
                y = kMargin;
            }
            painter_.setFont(fontOf(10, bold));
            double x = kMargin;
            for (std::size_t i = 0; i < widths.size(); ++i) {
                painter_.drawText(QRectF(x, y, widths[i] - 4, kLine),
                                  Qt::AlignLeft | Qt::AlignVCenter, cells.value(int(i)));
                x += widths[i];
            }
            y += kLine;
        };
        const QStringList titles{QStringLiteral("Data e hora"), QStringLiteral("Estação"),
                                 QStringLiteral("Alarme"),      QStringLiteral("Prioridade"),
                                 QStringLiteral("Estado"),      QStringLiteral("Reconhecido por")};
        row(titles, true);
        if (data_.alarms.isEmpty()) {
            painter_.setFont(fontOf(10));
            painter_.drawText(QPointF(kMargin, y + 10),
                              QStringLiteral("Nenhum alarme das estações escolhidas no período."));
            return;
        }
        for (const AlarmEvent& event : data_.alarms) {
            ArchiveStation station{event.station, event.name, {}};
            row({QDateTime::fromMSecsSinceEpoch(event.atMs).toString(u"dd/MM/yyyy HH:mm:ss"),
                 station.label(), event.alarm, event.priority, stateText(event.state),
                 event.state == 2
                     ? (event.by.isEmpty() ? QStringLiteral("(não informado)") : event.by)
                     : QString()},
                false);
        }
    }

    QPdfWriter& writer_;
    const HistoryData& data_;
    QDateTime madeAt_;
    QPainter painter_;
    int pages_ = 0;
};

} // namespace

void writeReport(const QString& path, const HistoryData& data, const QDateTime& madeAt) {
    {
        QFile probe(path);
        if (!probe.open(QIODevice::WriteOnly))
            toolkit::raiseFileError(errno);
    }
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(150);
    writer.setTitle(QStringLiteral("Histórico do local"));
    writer.setCreator(QStringLiteral("K&V ANEMÔMETROS"));
    if (!Report(writer, data, madeAt).write())
        toolkit::raiseFileError(EIO);
}

} // namespace site
