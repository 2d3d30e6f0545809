#include "notify/test_window.h"

#include "notify/notifier.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace notify {

namespace {

QLabel* textLabel(const QString& name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setAccessibleName(name);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

TestWindow::TestWindow(Notifier& notifier, QWidget* parent)
    : QWidget(parent, Qt::Window), notifier_(notifier) {
    setObjectName(QStringLiteral("TesteNotificacoes"));
    setWindowTitle(QStringLiteral("Teste das notificações - K&V ANEMÔMETROS"));
    resize(640, 320);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    for (const Channel channel : kAllChannels) {
        if (!notifier.settings().has(channel))
            continue;
        QLabel* answer = textLabel(QStringLiteral("Resposta ") + channelText(channel), this);
        answers_[int(channel)] = answer;
        auto* target = new QLabel(notifier.channelTarget(channel) + u':', this);
        target->setWordWrap(true);
        target->setBuddy(answer);
        form->addRow(target, answer);
    }
    layout->addLayout(form);
    state_ = textLabel(QStringLiteral("Estado das notificações"), this);
    layout->addWidget(state_, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("&Fechar"));
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QWidget::close);
    connect(&notifier_, &Notifier::testAnswered, this, &TestWindow::answered);
    connect(&notifier_, &Notifier::stateChanged, this,
            [this] { state_->setText(notifier_.stateText()); });
    state_->setText(notifier_.stateText());
}

void TestWindow::start(const QString& user) {
    for (QLabel* answer : answers_) {
        if (answer)
            answer->setText(QStringLiteral("enviando…"));
    }
    notifier_.test(user);
}

void TestWindow::answered(Channel channel, bool ok, const QString& text) {
    if (QLabel* answer = answers_[int(channel)])
        answer->setText(ok ? QStringLiteral("Aceita: %1").arg(text)
                           : QStringLiteral("Falhou: %1").arg(text));
}

QPushButton* testButton(Notifier& notifier, const QString& user, QWidget* window) {
    auto* button = new QPushButton(QStringLiteral("TESTAR &NOTIFICAÇÕES"), window);
    button->setObjectName(QStringLiteral("TestarNotificacoes"));
    auto* tests = new TestWindow(notifier, window);
    QObject::connect(button, &QPushButton::clicked, tests, [tests, user] {
        tests->show();
        tests->raise();
        tests->start(user);
    });
    return button;
}

} // namespace notify
