#include "sim/options.h"

namespace sim {

QString helpText() {
    return QStringLiteral(R"(Uso: anemosim --link CAMINHO [opções]

Simula um barramento Modbus RTU de 1 a 8 anemômetros num pseudo-terminal. O
programa da estação abre CAMINHO como porta serial. Cada estação responde à
leitura das holding registers 0 a 5 (função 3) do seu endereço e fica calada
para os outros endereços.

Opções:
  --link CAMINHO        ligação simbólica para o pseudo-terminal (obrigatória);
                        uma ligação antiga é substituída, e apagada na saída
  --stations N          N estações, endereços 1 a N (padrão 8)
  --addresses A,B,...   endereços das estações 1, 2, ... (ex.: 1,2,5);
                        no lugar de --stations
  --seed N              semente do vento e das falhas (reprodutível)
  --scenario ARQUIVO    cenário com unidades, ventos, presets e falhas
  --fault E:F=P[,F=P]   falha F com probabilidade P (0 a 1) na estação E
                        (número da estação, 1 a 8, ou "all"); repetível
                        ex.: --fault 3:silent=1   --fault all:badcrc=0.05
  --late-ms MS          atraso da resposta atrasada (padrão 300)
  --fast-battery        bateria cai 0,01 V por segundo (demonstração)
  --vanish-after S      após S segundos o adaptador "é retirado"...
  --vanish-for S        ...e volta S segundos depois (padrão 5)
  --log ARQUIVO         registro legível das transações (padrão: saída padrão)
  --record ARQUIVO      uma linha CSV por pedido recebido:
                        monotonic_ms;wall_iso8601;address;outcome;speed;
                        battery;direction;preset1;preset2;status
                        outcome: good (resposta correta de 17 bytes) ou o
                        nome da falha; silent também para endereços sem
                        estação, exception para pedidos não suportados;
                        valores = registradores (vazios se não lidos)
  -h, --help            mostra esta ajuda

Falhas (F): silent (não responde), badcrc (CRC errado), wrongaddr (responde
com outro endereço), exception (exceção Modbus 04), truncated (resposta
cortada), late (resposta depois de --late-ms), noise (bytes aleatórios antes
e/ou depois da resposta). Sorteadas nesta ordem; vale a primeira sorteada.

Sinais: SIGUSR1 retira o adaptador (fecha o pseudo-terminal e apaga a
ligação); SIGUSR2 cria um novo e refaz a ligação. SIGINT/SIGTERM encerram.

Cenário (--scenario): texto com seções; "#" ou ";" inicia comentário.
  [bus]                 stations=N, addresses=A,B,..., seed=N,
                        fast-battery=0|1, late-ms=MS
  [all]                 chaves de estação valendo para todas
  [station N]           chaves da estação N (1 a 8):
    address=A           endereço Modbus (0 a 255)
    unit=U              m/s, km/h, kn ou none (padrão: estação i usa
                        m/s, km/h, kn, m/s, ...)
    mean=V              vento médio em m/s (padrão: sorteado de 3 a 9)
    preset1=V           preset 1 na unidade da estação (aceita vírgula)
    preset2=V           preset 2 na unidade da estação
    rf=P                probabilidade do sinal RF ligado (padrão 0.95)
    schedule=P/A        presente P segundos, ausente (calada) A segundos,
                        repetindo desde o início (ex.: 20/10)
    silent=P, badcrc=P, wrongaddr=P, exception=P, truncated=P,
    late=P, noise=P     probabilidades de falha
  As opções da linha de comando prevalecem sobre o cenário.

Exemplo de cenário:
  [bus]
  stations=3
  [all]
  badcrc=0.02
  [station 2]
  unit=kn
  preset1=15
  [station 3]
  address=7
  silent=0.5

Saída: 0 normal, 1 falha ao criar o pseudo-terminal ou a ligação,
2 argumentos inválidos.
)");
}

} // namespace sim
