#include "config/log_browser.h"

#include "toolkit/deferred_icons.h"
#include "toolkit/messages.h"
#include "toolkit/os_files.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QIcon>
#include <QListWidget>
#include <QPushButton>
#include <QUrl>

namespace config {

void ListFiles(const QString& folder, QStringList& names) {
    // The system's own order, as the original directory search returned it; no sorting.
    for (const os::FolderEntry& entry : os::listFolder(folder.toUtf8().constData())) {
        if (!entry.folder)
            names.append(QString::fromStdString(entry.name));
    }
}

LogsTab::LogsTab(QWidget* tab)
    : searchButton_(new QPushButton(toolkit::deferredIcon(QStringLiteral(":/icons/button_search.png")),
                                    QStringLiteral("Procurar"), tab)),
      list_(new QListWidget(tab)),
      openButton_(new QPushButton(toolkit::deferredIcon(QStringLiteral(":/icons/button_open.png")),
                                  QStringLiteral("Abrir"), tab)) {
    searchButton_->setObjectName(QStringLiteral("BT_Procurar"));
    searchButton_->setIconSize(QSize(24, 24));
    searchButton_->setGeometry(16, 120, 110, 36);
    searchButton_->setAutoDefault(false);
    list_->setObjectName(QStringLiteral("ListBox1"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setGeometry(140, 12, 320, 280);
    openButton_->setObjectName(QStringLiteral("BT_Abrir"));
    openButton_->setIconSize(QSize(24, 24));
    openButton_->setGeometry(474, 120, 110, 36);
    openButton_->setAutoDefault(false);
}

void LogsTab::addFilesOf(const QString& folder) {
    QStringList names;
    ListFiles(folder, names);
    list_->addItems(names);
}

void LogsTab::openChosenOf(const QString& folder) const {
    QListWidgetItem* chosen = list_->currentItem();
    if (!chosen || !chosen->isSelected()) {
        toolkit::showMessage(QStringLiteral("Selecione um arquivo na lista"));
        return;
    }
    // The desktop's text application opens exactly this file; no command line is built.
    QDesktopServices::openUrl(
        QUrl::fromLocalFile(QFileInfo(folder + chosen->text()).absoluteFilePath()));
}

} // namespace config
