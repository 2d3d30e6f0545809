#include "app/main_menu.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace app {

MainMenu buildMainMenu(QMenuBar* bar) {
    MainMenu menu;
    bar->setObjectName(QStringLiteral("Menu"));
    QMenu* controle = bar->addMenu(QStringLiteral("Controle"));
    controle->setObjectName(QStringLiteral("Controle1"));
    menu.configuracoes = controle->addAction(QStringLiteral("Configurações"));
    menu.configuracoes->setObjectName(QStringLiteral("N1"));
    controle->addSeparator()->setObjectName(QStringLiteral("Enviar1"));

    QMenu* ajuda = bar->addMenu(QStringLiteral("Ajuda"));
    ajuda->setObjectName(QStringLiteral("Ajuda1"));
    menu.geral = ajuda->addAction(QStringLiteral("Geral"));
    menu.geral->setObjectName(QStringLiteral("Software1"));
    ajuda->addSeparator()->setObjectName(QStringLiteral("N2"));
    menu.webSite = ajuda->addAction(QStringLiteral("Web Site"));
    menu.webSite->setObjectName(QStringLiteral("Sobre1"));
    ajuda->addSeparator()->setObjectName(QStringLiteral("N4"));
    menu.sobre = ajuda->addAction(QStringLiteral("Sobre"));
    menu.sobre->setObjectName(QStringLiteral("Sobre2"));

    menu.sair = bar->addAction(QStringLiteral("Sair"));
    menu.sair->setObjectName(QStringLiteral("Sair1"));
    return menu;
}

} // namespace app
