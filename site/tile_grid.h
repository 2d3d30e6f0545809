#pragma once

#include <QList>
#include <QSize>
#include <QString>
#include <QWidget>

#include <vector>

class QLabel;

namespace site {

class SiteTile;

// How the tiles of the station PCs fill an area: rows of tiles, a row where a PC's tiles start
// under a strip for the headings, all tiles the same size, as large as fits. A PC's tiles stay
// together: they go on the row where they all fit, or start a row of their own (and go on over the
// next ones). Below the smallest readable size the tiles keep that size and the area grows taller
// (to scroll).
struct TilePlan {
    int columns = 1;
    QSize tile;
    int height = 0; // of everything, headings included
    // Per PC, per tile: its column and row.
    std::vector<std::vector<QPoint>> places;
    // Per row: where it starts, with the headings' strip when it has one.
    std::vector<int> rowTops;
};
inline constexpr QSize kLargestTile(480, 220);
inline constexpr QSize kSmallestTile(150, 70);
inline constexpr int kTileGap = 6;
inline constexpr int kHeadingHeight = 20;
TilePlan planTiles(QSize area, const QList<int>& tilesPerGroup);

// The tiles under their PCs' headings, laid out by planTiles over the width given and the
// height of the viewport it sits in. Each row of tiles, with its headings, is a widget of its
// own, in bands of rows: a label that changes is painted after a look at the few tiles of its
// row, the rows of its band and the bands, not at every tile of the site.
class TileGrid : public QWidget {
    Q_OBJECT

public:
    explicit TileGrid(QWidget* parent = nullptr);

    struct Group {
        QLabel* heading = nullptr;
        std::vector<SiteTile*> tiles;
    };
    // The groups to lay out, in order; the widgets become children of the grid.
    void setGroups(std::vector<Group> groups);
    // Lays the tiles out again for the area now visible.
    void relayout();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    std::vector<Group> groups_;
    std::vector<QWidget*> bands_; // of rows
    std::vector<QWidget*> rows_;
    QSize laidOutFor_;
};

} // namespace site
