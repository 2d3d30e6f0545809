#include "toolkit/save_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace toolkit {

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
    dialog.selectFile(QDir::home().filePath(proposedName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    // A desktop's own dialog may not add the suffix itself.
    return withExtension(dialog.selectedFiles().constFirst(), extension);
}

} // namespace toolkit
