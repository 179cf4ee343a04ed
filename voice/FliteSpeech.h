#pragma once

#include "CSpeechSynth.h"

#include <QString>
#include <vector>

class CWavSink;

// flite's voices, built into the program (Debian's libflite voice libraries).
std::vector<SpeechVoice> FliteVoices();
bool HasFliteVoice(const QString& name);

// The duration stretch for a rate of -10 ... 10: 1 at 0, and the same factor per step as
// the espeak-ng rate scale, so both engines speak a text in about the same time.
double FliteDurationStretch(int rate);

// flite reads plain English text: typographic punctuation becomes its ASCII form, accents
// are dropped and what it cannot pronounce becomes a blank.
QByteArray FliteText(const QString& text);

// Speaks text with the named voice into sink (whose format is set from the voice's own
// sample rate). One text at a time, whatever the thread. False when the voice is unknown,
// the engine fails or the sink does; the caller logs.
bool FliteSpeak(const QString& voice, int rate, const QString& text, CWavSink& sink);
