#include "core/env.hpp"

#include "core/modGlobal.hpp"
#include "core/numtext.hpp"

namespace rastiv {

QString errorNumber(int32_t status) { return QStringLiteral("Error #") + numToText(status); }

MsgResult tell(const Env& env, const QString& text, const QString& title, MsgIcon icon, int helpTopic,
               MsgButtons buttons, const QString& details, const QString& informative) {
    Message m;
    m.text = text;
    m.title = title;
    m.icon = icon;
    m.buttons = buttons;
    m.helpTopic = helpTopic;
    m.helpFile = env.g.gHelpFile;
    m.details = details;
    m.informative = informative;
    return env.messages.show(m);
}

}  // namespace rastiv
