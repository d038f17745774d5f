#include "Business.h"

#include "Envelope.h"
#include "XMLOpt.h"

void CBusiness::InitService(IServer* server) {
    m_pService = server;
    InitOpcodeFun();
}

void CBusiness::DealMsg(const char* envelope) {
    CXMLOpt message(envelope);
    if (!message.IsWellFormed()) return;
    CAutoString source = message.GetValue("OpS");
    CAutoString opcode = message.GetValue("OpC");
    auto found = m_OpcodeMap.find(opcode);
    if (found != m_OpcodeMap.end()) {
        (this->*(found->second))(source, message);
        return;
    }
    DefaultDeal(message);
}

void CBusiness::PostMsg(const char* source, const char* target, const char* opcode, const char* param) {
    if (!source || !target || !opcode || !param) return;
    CAutoString envelope;
    envelope.Format(kEnvelopeFormat, source, target, opcode, param);
    PostMsg(envelope);
}

void CBusiness::PostMsg(const char* envelope) {
    if (m_pService && envelope) m_pService->PostMessage(envelope);
}
