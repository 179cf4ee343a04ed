#!/usr/bin/env python3
"""Scores each voice on the English news passages in bench/voice-passages/: speaks every
passage with `calvoria-tool speak`, encodes it with `calvoria-tool encode` (the MP3 that
listeners get), decodes the MP3 again and has pocketsphinx (en-us model) transcribe it.
Prints, per voice, the word error rate against the passages and the real-time factor of
speech and of speech plus encoding.

usage: voice_wer.py [--no-asr] CALVORIA-TOOL [VOICE ...]
--no-asr: only the real-time factors (a quiet machine gives steadier ones)."""
import os
import re
import subprocess
import sys
import tempfile
import time

MODEL = "/usr/share/pocketsphinx/model/en-us"
VOICES = ["flite/rms", "flite/kal16", "flite/slt", "flite/awb", "flite/kal",
          "espeak/gmw/en", "espeak/gmw/en-US"]


def words(text):
    return re.sub(r"[^a-z' ]+", " ", text.lower().replace("-", " ")).split()


def edit_distance(ref, hyp):
    row = list(range(len(hyp) + 1))
    for i, r in enumerate(ref, 1):
        prev, row[0] = row[0], i
        for j, h in enumerate(hyp, 1):
            prev, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, prev + (r != h))
    return row[len(hyp)]


def transcribe(wav):
    out = subprocess.run(
        ["pocketsphinx_continuous", "-infile", wav, "-hmm", f"{MODEL}/en-us",
         "-lm", f"{MODEL}/en-us.lm.bin", "-dict", f"{MODEL}/cmudict-en-us.dict",
         "-logfn", "/dev/null"], capture_output=True, text=True, check=True).stdout
    return " ".join(line.strip() for line in out.splitlines())


def field(output, name):
    for line in output.splitlines():
        key, _, value = line.partition("\t")
        if key == name:
            return value
    raise KeyError(name)


def main():
    args = sys.argv[1:]
    asr = "--no-asr" not in args
    args = [a for a in args if a != "--no-asr"]
    tool = args[0]
    voices = args[1:] or VOICES
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "voice-passages")
    passages = sorted(f for f in os.listdir(folder) if f.endswith(".txt"))
    print("voice\tused\tWER %\twords\terrors\taudio s\tspeech x real time\tspeech+mp3 x real time")
    with tempfile.TemporaryDirectory() as work:
        for voice in voices:
            errors = total = 0
            audio = speak = encode = 0.0
            used = ""
            for name in passages:
                text_path = os.path.join(folder, name)
                wav, mp3, back = (os.path.join(work, n) for n in ("a.wav", "a.mp3", "b.wav"))
                out = subprocess.run([tool, "speak", text_path, wav, "--voice", voice],
                                     capture_output=True, text=True, check=True).stdout
                used = field(out, "voice")
                audio += float(field(out, "audio seconds"))
                speak += float(field(out, "elapsed seconds"))
                out = subprocess.run([tool, "encode", wav, mp3], capture_output=True,
                                     text=True, check=True).stdout
                encode += float(field(out, "elapsed seconds"))
                ref = words(open(text_path, encoding="utf-8").read())
                total += len(ref)
                if asr:
                    subprocess.run(["mpg123", "-q", "-m", "-w", back, mp3], check=True)
                    errors += edit_distance(ref, words(transcribe(back)))
            wer = f"{100.0 * errors / total:.1f}" if asr else "-"
            print(f"{voice}\t{used}\t{wer}\t{total}\t{errors if asr else '-'}\t"
                  f"{audio:.1f}\t{audio / speak:.0f}\t{audio / (speak + encode):.0f}",
                  flush=True)


if __name__ == "__main__":
    main()
