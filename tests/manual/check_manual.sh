#!/usr/bin/env bash
# Checks the user manual that the build writes into the station folder: a PDF of several
# pages with the screenshots, every chapter and the program's own texts that operators look
# for.
#   check_manual.sh PATH_TO_PDF
set -euo pipefail

pdf="${1:?usage: check_manual.sh PATH_TO_PDF}"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

[[ -s "$pdf" ]] || { echo "FAIL: no manual at $pdf" >&2; exit 1; }

info="$(pdfinfo "$pdf")"
pages="$(awk '/^Pages:/ { print $2 }' <<<"$info")"
[[ "$pages" =~ ^[0-9]+$ && "$pages" -gt 1 ]] || fail "expected more than one page, got '$pages'"
grep -q 'Page size:.*(A4)' <<<"$info" || fail "the pages are not A4"
grep -qF 'K&V ANEMÔMETROS — Manual do usuário' <<<"$info" || fail "document title missing"

# The twelve screenshots and the eleven panel icons are embedded pictures.
images="$(pdfimages -list "$pdf" | tail -n +3 | wc -l)"
[[ "$images" -ge 23 ]] || fail "expected at least 23 pictures, found $images"

# Blanks collapsed, so that line breaks and justified spacing do not matter.
text="$(pdftotext -enc UTF-8 "$pdf" - | tr -s ' \n' '  ')"
expect() {
    local wanted
    wanted="$(tr -s ' ' <<<"$1")"
    grep -qF -- "$wanted" <<<"$text" || fail "text missing: $1"
}

expect 'Manual do usuário'
expect 'Versão 1.5'
expect '1. O que o programa faz'
expect '2. Ligando o barramento'
expect '3. A janela de configurações'
expect '4. Lendo o painel de uma estação'
expect '5. A barra de estado e a sequência de leitura'
expect '6. Arquivos de registro'
expect '7. O simulador anemosim'
expect '8. Solução de problemas'
expect '9. Saúde das estações'
expect '10. Histórico do vento'
expect '11. Publicação MQTT: o local numa tela só'
expect '12. Alarmes'
expect '13. Operação contínua'
expect '14. Visão do local'
expect '15. Notificações'
expect '16. Arquivo do local'
expect '17. Instalação no Windows'
expect 'apt install victoria-metrics'
expect '-retentionPeriod=10y'
expect 'fila_max_mb'
expect 'ARQUIVO FORA'
expect 'anemometro_velocidade{local="obra1"}'
expect 'Controle → Histórico'
expect 'K&V ANEMÔMETROS: PRESET 2 ATIVO — GUINDASTE NORTE (obra1)'
expect 'webhook_formato=ntfy'
expect 'gammu-smsd-inject TEXT'
expect 'NOTIFICAÇÃO FALHOU'
expect 'TESTAR NOTIFICAÇÕES'
expect 'K&V ANEMÔMETROS — Local'
expect 'prefixos=porto/cais,porto/guindastes'
expect 'sensor binário "<nome> alarme não reconhecido"'
expect 'systemctl --user enable --now anemometros'
expect 'journalctl --user -u anemometros -p warning'
expect '/usr/share/anemometros/anemometros-autostart.desktop'
expect 'Porta /dev/ttyUSB0 aberta; 3 de 4 estações respondendo'
expect 'Publicação MQTT desligada:'
expect 'PROCURAR ESTAÇÕES'
expect 'HORA;ESTACAO;EVENTO;DETALHE;'
expect '11.4 Quem pode reconhecer: usuários e permissões no broker'
expect 'allow_anonymous false'
expect 'topic write obra1/+/ack'
expect 'relógio adiantado'
expect 'aguardando leitura nova'

expect 'N°: 1 - OK'
expect 'N°: 1 - OK | N°: 2 - ERRO | N°: 3 - OK'
expect 'log_zareraziru'
expect 'StatusLOG1.txt'
expect 'ConfigALL.txt'
expect 'dialout'
expect 'Aberta'
expect 'Fechada'
expect 'Salvo'
expect 'VELOCIDADE DE LEITURA (seg)'
expect 'SALVAR LOG'
expect 'SALVAR CONFIGURAÇÕES'
expect 'Procurar'
expect 'Abrir'
expect '> LIMITE'
expect 'N NNE NE ENE L ESE SE SSE S SSO SO OSO O ONO NO NNO'
expect '3,70 V'
expect 'HORA;VELOCIDADE(km/h);DIRECAO;PRESET1(km/h);PRESET2(km/h);ALARME SONORO;BATERIA(V)'
expect '14:05:09;12,3;NNE;5,0;20,0;OFF;3,70;'
expect 'Porta Serial ttyUSB0 não disponível (pode estar sendo usada por outro programa).'
expect 'Configure os paramentros da porta serial'
expect 'Não é permitido montar os parametros da Porta'
expect 'File not found'
expect 'Não foi possível obter o local dos Meus Documentos.'
expect 'anemosim --link /tmp/ttySIM'

# Every chapter begins a page of its own: after the running header (manual title, chapter
# title) the first line of the page is the chapter's title.
starts=""
for ((page = 3; page <= pages; page++)); do
    mapfile -t lines < <(pdftotext -enc UTF-8 -f "$page" -l "$page" "$pdf" - | grep -v '^\s*$' | head -3)
    if [[ ${#lines[@]} -eq 3 && "${lines[2]}" == "${lines[1]}" ]]; then
        starts+="${lines[2]%%.*} "
    fi
done
[[ "$starts" == "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 " ]] ||
    fail "chapters starting a page: '$starts', expected 1 to 17"

if ((failures > 0)); then
    echo "$failures check(s) failed for $pdf" >&2
    exit 1
fi
echo "manual OK: $pages pages, $images pictures"
