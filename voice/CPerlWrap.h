#pragma once

#include <QByteArray>
#include <QList>

struct interpreter;
struct sv;

// One embedded Perl interpreter. Warnings are collected into $main::__w_warnings instead of
// being printed. Every call first makes this interpreter the current one of the calling
// thread, so it may be built on one thread and used on another, one thread at a time.
// Names are Perl names: "input_stream" is $main::input_stream, "INC" is @INC.
class CPerlWrap
{
public:
    // Builds and starts the interpreter; see IsValid().
    CPerlWrap();
    virtual ~CPerlWrap();
    CPerlWrap(const CPerlWrap&) = delete;
    CPerlWrap& operator=(const CPerlWrap&) = delete;

    bool IsValid() const { return m_perl != nullptr; }

    // Evaluates text as Perl code in package main without dying; true when $@ is empty
    // afterwards (and, when warnings are errors, no warning was collected).
    bool Eval(const QByteArray& text);
    // $@ after the last Eval.
    QByteArray GetLastError() const { return m_lastError; }
    // The value of the last Eval.
    QByteArray LastResultString() const;
    double LastResultNumber() const;

    // Sets the scalar to the bytes up to the first zero byte, decoded as UTF-8 so that the
    // script sees characters; invalid sequences become U+FFFD.
    bool SetStringUtf8(const char* name, const QByteArray& utf8);
    // The scalar's string value as bytes (a character string comes out as UTF-8); false
    // when the scalar does not exist.
    bool GetString(const char* name, QByteArray& value);
    bool SetNumber(const char* name, double value);
    bool SetInteger(const char* name, qint64 value);
    bool GetNumber(const char* name, double& value);
    bool GetInteger(const char* name, qint64& value);
    // Empties the array and fills it with one string per entry.
    bool SetArray(const char* name, const QList<QByteArray>& values);
    // False when the array does not exist.
    bool GetArray(const char* name, QList<QByteArray>& values);

    void ClearWarnings();
    // What the warning collector holds.
    QByteArray Warnings();

    void SetWarningsAreErrors(bool on) { m_warningsAreErrors = on; }
    void SetClearWarningsBeforeEval(bool on) { m_clearWarningsBeforeEval = on; }

private:
    void MakeCurrent() const;
    // The package variable name (main:: unless qualified), made current; null when it
    // does not exist and create is false.
    sv* Scalar(const char* name, bool create) const;

    interpreter* m_perl = nullptr;
    sv* m_lastResult = nullptr; // owned; null stands for undef
    QByteArray m_lastError;
    bool m_warningsAreErrors = false;
    bool m_clearWarningsBeforeEval = true;
};
