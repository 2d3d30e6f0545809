#pragma once

// A fresh station folder for one test: a temporary working directory holding a copy of the
// built ConfigALL.txt (and whatever the test writes), and a temporary HOME whose Documents
// folder receives the logs. The previous directory and HOME come back afterwards.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class StationEnv {
public:
    StationEnv(bool withConfig = true)
        : previousDir_(QDir::currentPath()), previousHome_(qgetenv("HOME")) {
        qputenv("HOME", home_.path().toUtf8());
        qunsetenv("XDG_DOCUMENTS_DIR");
        qputenv("XDG_CONFIG_HOME", (home_.path() + QStringLiteral("/.config")).toUtf8());
        QDir::setCurrent(work_.path());
        if (withConfig)
            QFile::copy(QStringLiteral(STATION_DIR "/ConfigALL.txt"), configPath());
        QFile::link(QStringLiteral(STATION_DIR "/IMAGES"),
                    work_.filePath(QStringLiteral("IMAGES")));
    }
    ~StationEnv() {
        QDir::setCurrent(previousDir_);
        qputenv("HOME", previousHome_);
    }

    QString dir() const { return work_.path(); }
    QString home() const { return home_.path(); }
    QString configPath() const { return work_.filePath(QStringLiteral("ConfigALL.txt")); }
    QString documents() const { return home_.path() + QStringLiteral("/Documents"); }

    QByteArray configBytes() const {
        QFile file(configPath());
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }
    void writeConfig(const QByteArray& bytes) const {
        QFile file(configPath());
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes);
    }

private:
    QString previousDir_;
    QByteArray previousHome_;
    QTemporaryDir work_;
    QTemporaryDir home_;
};
