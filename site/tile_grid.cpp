#include "site/tile_grid.h"

#include "site/site_tile.h"

#include <QLabel>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

namespace site {

namespace {

// Where each tile goes with `columns` across; which rows start a PC's tiles (and so have the
// headings' strip) in `headed`.
std::vector<std::vector<QPoint>> place(const QList<int>& tilesPerGroup, int columns,
                                       std::vector<bool>& headed) {
    std::vector<std::vector<QPoint>> places;
    headed.clear();
    int used = columns; // tiles on the current row: none yet
    for (int count : tilesPerGroup) {
        if (used + count > columns) {
            headed.push_back(true);
            used = 0;
        } else if (count > 0) {
            headed.back() = true;
        }
        std::vector<QPoint>& group = places.emplace_back();
        for (int i = 0; i < count; ++i) {
            if (used == columns) {
                headed.push_back(false);
                used = 0;
            }
            group.emplace_back(used++, int(headed.size()) - 1);
        }
    }
    return places;
}

// The room the rows take besides their tiles.
int rowsOverhead(const std::vector<bool>& headed) {
    int room = kTileGap;
    for (bool heading : headed)
        room += kTileGap + (heading ? kHeadingHeight + kTileGap : 0);
    return room;
}

} // namespace

TilePlan planTiles(QSize area, const QList<int>& tilesPerGroup) {
    int total = 0;
    for (int count : tilesPerGroup)
        total += count;
    total = std::max(total, 1);
    std::vector<bool> headed;
    // The scale of the largest tile, in thousandths, that fits `columns` across.
    const auto fit = [&](int columns) {
        place(tilesPerGroup, columns, headed);
        const int rows = std::max<int>(1, int(headed.size()));
        const int width = (area.width() - (columns + 1) * kTileGap) / columns;
        const int height = (area.height() - rowsOverhead(headed)) / rows;
        return std::min(
            {1000 * width / kLargestTile.width(), 1000 * height / kLargestTile.height(), 1000});
    };
    TilePlan plan;
    int best = -1;
    for (int columns = 1; columns <= total; ++columns) {
        if (const int scale = fit(columns); scale > best) {
            best = scale;
            plan.columns = columns;
        }
    }
    plan.tile = QSize(kLargestTile.width() * best / 1000, kLargestTile.height() * best / 1000);
    if (plan.tile.width() < kSmallestTile.width() || plan.tile.height() < kSmallestTile.height()) {
        // As many of the smallest across as the width takes; the rest scrolls.
        plan.columns =
            std::clamp((area.width() - kTileGap) / (kSmallestTile.width() + kTileGap), 1, total);
        plan.tile = QSize(std::max(kSmallestTile.width(),
                                   (area.width() - (plan.columns + 1) * kTileGap) / plan.columns),
                          kSmallestTile.height());
    }
    plan.places = place(tilesPerGroup, plan.columns, headed);
    int y = kTileGap;
    for (bool heading : headed) {
        plan.rowTops.push_back(y);
        y += (heading ? kHeadingHeight + kTileGap : 0) + plan.tile.height() + kTileGap;
    }
    plan.height = y;
    return plan;
}

TileGrid::TileGrid(QWidget* parent) : QWidget(parent) {}

namespace {

// In `row` at `geometry`; moved there only when elsewhere.
void put(QWidget* widget, QWidget* row, const QRect& geometry) {
    if (widget->parentWidget() != row)
        widget->setParent(row);
    widget->setGeometry(geometry);
    widget->show();
}

} // namespace

void TileGrid::setGroups(std::vector<Group> groups) {
    groups_ = std::move(groups);
    // Laid out into the rows below; until then the grid's.
    for (const Group& group : groups_) {
        if (!group.heading->parentWidget())
            group.heading->setParent(this);
        for (SiteTile* tile : group.tiles) {
            if (!tile->parentWidget())
                tile->setParent(this);
        }
    }
    laidOutFor_ = {};
    relayout();
}

void TileGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void TileGrid::relayout() {
    // The viewport of the scroll area: its height is what fits without scrolling.
    const QSize area(width(), parentWidget() ? parentWidget()->height() : height());
    if (area == laidOutFor_ || groups_.empty())
        return;
    laidOutFor_ = area;
    QList<int> counts;
    for (const Group& group : groups_)
        counts << int(group.tiles.size());
    const TilePlan plan = planTiles(area, counts);
    // The rows, each as tall as its strip of headings and tiles, in bands of about as many rows
    // as there are bands.
    const std::size_t rowCount = plan.rowTops.size();
    const auto perBand = std::max<std::size_t>(1, std::size_t(std::lround(std::sqrt(rowCount))));
    const std::size_t bandCount = (rowCount + perBand - 1) / perBand;
    while (bands_.size() < bandCount) {
        bands_.push_back(new QWidget(this));
        bands_.back()->show();
    }
    while (rows_.size() < rowCount) {
        rows_.push_back(new QWidget(bands_[(rows_.size()) / perBand]));
        rows_.back()->show();
    }
    const auto bottomOf = [&](std::size_t row) {
        return row + 1 < rowCount ? plan.rowTops[row + 1] : plan.height;
    };
    for (std::size_t band = 0; band < bandCount; ++band) {
        const int top = plan.rowTops[band * perBand];
        const int bottom = bottomOf(std::min(rowCount, (band + 1) * perBand) - 1);
        bands_[band]->setGeometry(0, top, width(), bottom - top);
    }
    for (std::size_t row = 0; row < rowCount; ++row) {
        QWidget* band = bands_[row / perBand];
        if (rows_[row]->parentWidget() != band) {
            rows_[row]->setParent(band);
            rows_[row]->show();
        }
        rows_[row]->setGeometry(0, plan.rowTops[row] - band->y(), width(),
                                bottomOf(row) - plan.rowTops[row]);
    }
    // A tile sits at the bottom of its row, under the headings' strip where the row has one.
    const auto tileAt = [&](QPoint place) {
        const std::size_t row = std::size_t(place.y());
        return QPoint(kTileGap + place.x() * (plan.tile.width() + kTileGap),
                      bottomOf(row) - plan.rowTops[row] - kTileGap - plan.tile.height());
    };
    for (std::size_t g = 0; g < groups_.size(); ++g) {
        const Group& group = groups_[g];
        const std::vector<QPoint>& places = plan.places[g];
        if (places.empty()) {
            group.heading->hide();
            if (group.heading->parentWidget() != this)
                group.heading->setParent(this); // out of the rows, which may go
            continue;
        }
        // Over its tiles on its first row.
        int across = 0;
        while (across < int(places.size()) && places[across].y() == places.front().y())
            ++across;
        QWidget* first = rows_[std::size_t(places.front().y())];
        put(group.heading, first,
            QRect(tileAt(places.front()) - QPoint(0, kHeadingHeight + kTileGap),
                  QSize(across * (plan.tile.width() + kTileGap) - kTileGap, kHeadingHeight)));
        for (std::size_t i = 0; i < places.size(); ++i) {
            // Its fonts first: they set how short it may be.
            group.tiles[i]->fitFonts(plan.tile.height());
            put(group.tiles[i], rows_[std::size_t(places[i].y())],
                QRect(tileAt(places[i]), plan.tile));
        }
    }
    // Rows no longer needed hold nothing now, nor do the bands after them.
    while (rows_.size() > rowCount) {
        delete rows_.back();
        rows_.pop_back();
    }
    while (bands_.size() > bandCount) {
        delete bands_.back();
        bands_.pop_back();
    }
    // Taller than the viewport only when the smallest tiles do not fit: then it scrolls.
    setMinimumHeight(plan.height > area.height() ? plan.height : 0);
}

} // namespace site
