#include "CPerlWrap.h"

#include <QString>
#include <mutex>

// perl.h defines a great many short macro names, so it comes after every other header.
#define PERL_NO_GET_CONTEXT
#include <EXTERN.h>

#include <perl.h>

#include <XSUB.h>

EXTERN_C void boot_DynaLoader(pTHX_ CV* cv);

namespace {

// Process-wide set-up of the perl library, before the first interpreter.
void InitPerlLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] {
        static char name[] = "";
        static char* args[] = {name, nullptr};
        static char* environment[] = {nullptr};
        static int argc = 1;
        static char** argv = args;
        static char** env = environment;
        PERL_SYS_INIT3(&argc, &argv, &env);
    });
}

// Lets the script's modules load compiled extensions.
void InitExtensions(pTHX)
{
    static const char file[] = __FILE__;
    dXSUB_SYS;
    PERL_UNUSED_CONTEXT;
    newXS("DynaLoader::boot_DynaLoader", boot_DynaLoader, file);
}

// perl keeps pointers to its command line and may write into it (assigning $0).
char g_arg0[] = "";
char g_arg1[] = "-e";
char g_arg2[] = "BEGIN{ $SIG{__WARN__} = sub { $__w_warnings .= $_[0] } }";

// Unqualified names are those of package main, whatever package the last script ended in.
QByteArray Qualified(const char* name)
{
    const QByteArray text(name);
    return text.contains("::") ? text : "main::" + text;
}

QByteArray StringValue(pTHX_ SV* value)
{
    STRLEN length = 0;
    const char* bytes = SvPV(value, length);
    return QByteArray(bytes, qsizetype(length));
}

} // namespace

CPerlWrap::CPerlWrap()
{
    InitPerlLibrary();
    PerlInterpreter* my_perl = perl_alloc();
    if (!my_perl)
        return;
    PERL_SET_CONTEXT(my_perl);
    PL_perl_destruct_level = 1;
    perl_construct(my_perl);
    char* args[] = {g_arg0, g_arg1, g_arg2, nullptr};
    bool started = perl_parse(my_perl, InitExtensions, 3, args, nullptr) == 0;
    if (started) {
        PL_exit_flags |= PERL_EXIT_DESTRUCT_END;
        started = perl_run(my_perl) == 0;
    }
    if (!started) {
        perl_destruct(my_perl);
        perl_free(my_perl);
        return;
    }
    m_perl = my_perl;
}

CPerlWrap::~CPerlWrap()
{
    if (!m_perl)
        return;
    dTHXa(m_perl);
    PERL_SET_CONTEXT(m_perl);
    if (m_lastResult)
        SvREFCNT_dec(m_lastResult);
    // Runs END blocks and frees everything the scripts made.
    try {
        perl_destruct(m_perl);
    } catch (...) {
        return;
    }
    try {
        perl_free(m_perl);
    } catch (...) {
    }
}

void CPerlWrap::MakeCurrent() const
{
    PERL_SET_CONTEXT(m_perl);
}

sv* CPerlWrap::Scalar(const char* name, bool create) const
{
    if (!m_perl)
        return nullptr;
    dTHXa(m_perl);
    MakeCurrent();
    return get_sv(Qualified(name).constData(), create ? GV_ADD : 0);
}

bool CPerlWrap::Eval(const QByteArray& text)
{
    if (!m_perl)
        return false;
    dTHXa(m_perl);
    MakeCurrent();
    if (m_clearWarningsBeforeEval)
        ClearWarnings();

    ENTER;
    SAVETMPS;
    SV* result = eval_pv(text.constData(), FALSE);
    SV* kept = result && SvOK(result) ? newSVsv(result) : nullptr;
    FREETMPS;
    LEAVE;
    if (m_lastResult)
        SvREFCNT_dec(m_lastResult);
    m_lastResult = kept;

    m_lastError = StringValue(aTHX_ ERRSV);
    if (!m_lastError.isEmpty())
        return false;
    return !m_warningsAreErrors || Warnings().isEmpty();
}

QByteArray CPerlWrap::LastResultString() const
{
    if (!m_perl || !m_lastResult)
        return {};
    dTHXa(m_perl);
    MakeCurrent();
    return StringValue(aTHX_ m_lastResult);
}

double CPerlWrap::LastResultNumber() const
{
    if (!m_perl || !m_lastResult)
        return 0;
    dTHXa(m_perl);
    MakeCurrent();
    return SvNV(m_lastResult);
}

bool CPerlWrap::SetStringUtf8(const char* name, const QByteArray& utf8)
{
    SV* value = Scalar(name, true);
    if (!value)
        return false;
    dTHXa(m_perl);
    const qsizetype length = qsizetype(qstrnlen(utf8.constData(), size_t(utf8.size())));
    sv_setpvn(value, utf8.constData(), STRLEN(length));
    if (!sv_utf8_decode(value)) {
        const QByteArray repaired = QString::fromUtf8(utf8.constData(), length).toUtf8();
        sv_setpvn(value, repaired.constData(), STRLEN(repaired.size()));
        sv_utf8_decode(value);
    }
    return true;
}

bool CPerlWrap::GetString(const char* name, QByteArray& value)
{
    SV* scalar = Scalar(name, false);
    if (!scalar)
        return false;
    dTHXa(m_perl);
    value = StringValue(aTHX_ scalar);
    return true;
}

bool CPerlWrap::SetNumber(const char* name, double value)
{
    SV* scalar = Scalar(name, true);
    if (!scalar)
        return false;
    dTHXa(m_perl);
    sv_setnv(scalar, value);
    return true;
}

bool CPerlWrap::SetInteger(const char* name, qint64 value)
{
    SV* scalar = Scalar(name, true);
    if (!scalar)
        return false;
    dTHXa(m_perl);
    sv_setiv(scalar, IV(value));
    return true;
}

bool CPerlWrap::GetNumber(const char* name, double& value)
{
    SV* scalar = Scalar(name, false);
    if (!scalar)
        return false;
    dTHXa(m_perl);
    value = SvNV(scalar);
    return true;
}

bool CPerlWrap::GetInteger(const char* name, qint64& value)
{
    SV* scalar = Scalar(name, false);
    if (!scalar)
        return false;
    dTHXa(m_perl);
    value = qint64(SvIV(scalar));
    return true;
}

bool CPerlWrap::SetArray(const char* name, const QList<QByteArray>& values)
{
    if (!m_perl)
        return false;
    dTHXa(m_perl);
    MakeCurrent();
    AV* array = get_av(Qualified(name).constData(), GV_ADD);
    if (!array)
        return false;
    av_clear(array);
    for (const QByteArray& entry : values) {
        SV* value = newSVpvn(entry.constData(), STRLEN(entry.size()));
        if (!value)
            return false;
        av_push(array, value);
    }
    return true;
}

bool CPerlWrap::GetArray(const char* name, QList<QByteArray>& values)
{
    if (!m_perl)
        return false;
    dTHXa(m_perl);
    MakeCurrent();
    AV* array = get_av(Qualified(name).constData(), 0);
    if (!array)
        return false;
    values.clear();
    const SSize_t last = av_top_index(array);
    for (SSize_t i = 0; i <= last; ++i) {
        SV** entry = av_fetch(array, i, 0);
        values.append(entry ? StringValue(aTHX_ * entry) : QByteArray());
    }
    return true;
}

void CPerlWrap::ClearWarnings()
{
    if (!m_perl)
        return;
    dTHXa(m_perl);
    MakeCurrent();
    sv_setpvs(get_sv("main::__w_warnings", GV_ADD), "");
}

QByteArray CPerlWrap::Warnings()
{
    if (!m_perl)
        return {};
    dTHXa(m_perl);
    MakeCurrent();
    SV* warnings = get_sv("main::__w_warnings", 0);
    return warnings ? StringValue(aTHX_ warnings) : QByteArray();
}
