#pragma once

#include <QString>
#include <QStringList>

class QListWidget;
class QPushButton;
class QWidget;

namespace config {

// Adds to `names` the name of every entry of `folder` that is not a folder itself, in the
// order the directory gives them. A folder that cannot be read adds nothing.
void ListFiles(const QString& folder, QStringList& names);

// The "LOGS" tab of the configuration window: the list of the files of the log folder, with
// "Procurar" to fill it and "Abrir" to open the chosen file in the desktop's text application.
class LogsTab {
public:
    explicit LogsTab(QWidget* tab);

    // The files of `folder`, in the order the directory gives them, added to the list.
    void addFilesOf(const QString& folder);
    // The chosen file of `folder` to the desktop; without a choice, a message asks for one.
    void openChosenOf(const QString& folder) const;

    QListWidget* list() const { return list_; }
    QPushButton* searchButton() const { return searchButton_; }
    QPushButton* openButton() const { return openButton_; }

private:
    QPushButton* searchButton_;
    QListWidget* list_;
    QPushButton* openButton_;
};

} // namespace config
