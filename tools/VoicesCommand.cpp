// calvoria-tool voices
#include "ToolCommands.h"

#include "CSpeechSynth.h"
#include "ToolSupport.h"

#include <QTextStream>

namespace {

int RunVoicesCommand(const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!args.isEmpty()) {
        err << "usage: calvoria-tool voices\n";
        return 2;
    }
    const std::vector<SpeechVoice> voices = CSpeechSynth::Voices();
    if (voices.empty()) {
        err << "no speech engine can be started\n";
        return 1;
    }
    for (const SpeechVoice& voice : voices)
        out << TsvField(voice.id) << '\t' << TsvField(voice.language) << '\t'
            << TsvField(voice.name) << '\n';
    return 0;
}

const ToolCommandRegistration kVoicesCommand{
    {"voices", "            both speech engines' voices: identifier TAB language TAB name",
     RunVoicesCommand}};

} // namespace
