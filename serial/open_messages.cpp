#include "serial/open_messages.h"

namespace serial {

std::string openFailureMessage(OpenStep step, const std::string& portName,
                               const std::string& lineParameters, unsigned error) {
    const std::string errorText = " Erro: " + std::to_string(error);
    // "paramentros" and the missing blank after "Porta" in step 5 are the texts users know.
    switch (step) {
    case OpenStep::Open:
        return "Porta Serial " + portName +
               " não disponível (pode estar sendo usada por outro programa). Configure os "
               "paramentros da porta serial";
    case OpenStep::Timeouts:
        return "Não é permitido configurar os Timeouts para esta porta " + portName + errorText;
    case OpenStep::ReadSettings:
    case OpenStep::BuildMode:
        return "Não é permitido montar os parametros da Porta " + lineParameters + errorText;
    case OpenStep::WriteSettings:
        return "Não é permitido configurar os parametros da Porta" + lineParameters + errorText;
    }
    return {};
}

} // namespace serial
