#pragma once

class QAction;
class QMenuBar;

namespace app {

// The main window's menu as its design lays it out: "Controle" (Configurações and a separator,
// the program's own windows come after), "Ajuda" (Geral, Web Site, Sobre) and "Sair".
struct MainMenu {
    QAction* configuracoes = nullptr;
    QAction* geral = nullptr;
    QAction* webSite = nullptr;
    QAction* sobre = nullptr;
    QAction* sair = nullptr;
};
MainMenu buildMainMenu(QMenuBar* bar);

} // namespace app
