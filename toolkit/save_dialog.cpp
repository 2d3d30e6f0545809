#include "toolkit/save_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>

namespace toolkit {

namespace {

// Qt's file list writes sizes and dates in the machine's locale ("8 Dec 2026" on a C.UTF-8
// machine); these are in the program's.
class PortugueseFileList : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files || (index.column() != 1 && index.column() != 3))
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        const QLocale portuguese(QLocale::Portuguese, QLocale::Brazil);
        if (index.column() == 3)
            return portuguese.toString(files->lastModified(source), QLocale::ShortFormat);
        return files->isDir(source) ? QString() : portuguese.formattedDataSize(files->size(source));
    }
};

} // namespace

QString withExtension(const QString& path, const QString& extension) {
    if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + u'.' + extension;
}

QString askSavePath(QWidget* parent, const QString& caption, const QString& proposedName,
                    const QString& filter, const QString& extension) {
    QFileDialog dialog(parent, caption, QDir::home().filePath(proposedName), filter);
    dialog.setObjectName(QStringLiteral("Exportar"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(extension);
    dialog.setProxyModel(new PortugueseFileList(&dialog));
    dialog.selectFile(QDir::home().filePath(proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    // A desktop's own dialog may not add the suffix itself.
    return withExtension(dialog.selectedFiles().constFirst(), extension);
}

} // namespace toolkit
