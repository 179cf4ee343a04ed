#pragma once

// Looks for the speech engine's data and its default voice at start-up, logging each
// step. True when news can be spoken.
bool CheckSpeechEngine();
