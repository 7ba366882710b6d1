// The names of the C standard library, header by header (C89 to C23, with the bounds-checking
// interfaces of Annex K): a symbol of the generated C must be none of them, or a program that
// includes that header as well would not compile, or would link the font under a library
// function's name.
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "tools/embed/Embed.h"

namespace embed {
namespace {

// Functions of <math.h> and <complex.h> that come as double, float (suffix f) and long double
// (suffix l). C23's decimal variants (d32, d64, d128) follow the same names.
const char* const kMathFamilies =
    "acos asin atan atan2 cos sin tan acosh asinh atanh cosh sinh tanh exp exp2 expm1 frexp ilogb "
    "ldexp log log10 log1p log2 logb modf scalbn scalbln cbrt fabs hypot pow sqrt erf erfc lgamma "
    "tgamma ceil floor nearbyint rint lrint llrint round lround llround trunc fmod remainder "
    "remquo copysign nan nextafter nexttoward fdim fmax fmin fma acospi asinpi atanpi atan2pi "
    "cospi sinpi tanpi exp10 exp10m1 exp2m1 log10p1 logp1 log2p1 compoundn pown powr rootn rsqrt "
    "roundeven fromfp ufromfp fromfpx ufromfpx fmaximum fminimum fmaximum_mag fminimum_mag "
    "fmaximum_num fminimum_num fmaximum_mag_num fminimum_mag_num nextup nextdown canonicalize "
    "totalorder totalordermag getpayload setpayload setpayloadsig llogb quantize samequantum "
    "quantexp encodedec decodedec encodebin decodebin";
const char* const kComplexFamilies =
    "cacos casin catan ccos csin ctan cacosh casinh catanh ccosh csinh ctanh cexp clog cabs cpow "
    "csqrt carg cimag conj cproj creal CMPLX";

// Every other name, by header.
const std::pair<const char*, const char*> kHeaders[] = {
    {"assert.h", "assert static_assert NDEBUG"},
    {"complex.h", "complex imaginary I"},
    {"ctype.h",
     "isalnum isalpha isblank iscntrl isdigit isgraph islower isprint ispunct isspace isupper "
     "isxdigit tolower toupper"},
    {"errno.h", "errno errno_t EDOM EILSEQ ERANGE"},
    {"fenv.h",
     "fenv_t fexcept_t femode_t feclearexcept fegetexceptflag feraiseexcept fesetexcept "
     "fesetexceptflag fetestexceptflag fetestexcept fegetmode fegetround fegetdfround fegetenv "
     "feholdexcept fesetmode fesetround fesetdfround fesetenv feupdateenv"},
    {"float.h", "DECIMAL_DIG"},
    {"inttypes.h", "imaxdiv_t imaxabs imaxdiv strtoimax strtoumax wcstoimax wcstoumax"},
    {"limits.h",
     "CHAR_BIT SCHAR_MIN SCHAR_MAX UCHAR_MAX CHAR_MIN CHAR_MAX MB_LEN_MAX SHRT_MIN SHRT_MAX "
     "USHRT_MAX INT_MIN INT_MAX UINT_MAX LONG_MIN LONG_MAX ULONG_MAX LLONG_MIN LLONG_MAX "
     "ULLONG_MAX BOOL_WIDTH BOOL_MAX CHAR_WIDTH SCHAR_WIDTH UCHAR_WIDTH SHRT_WIDTH USHRT_WIDTH "
     "INT_WIDTH UINT_WIDTH LONG_WIDTH ULONG_WIDTH LLONG_WIDTH ULLONG_WIDTH BITINT_MAXWIDTH"},
    {"locale.h", "lconv setlocale localeconv"},
    {"math.h",
     "float_t double_t HUGE_VAL HUGE_VALF HUGE_VALL INFINITY NAN SNANF SNAN SNANL "
     "MATH_ERRNO MATH_ERREXCEPT math_errhandling DEC_INFINITY DEC_NAN fpclassify isfinite isinf "
     "isnan isnormal signbit isgreater isgreaterequal isless islessequal islessgreater "
     "isunordered iscanonical issignaling issubnormal iszero iseqsig fadd faddl dadd daddl fsub "
     "fsubl dsub dsubl fmul fmull dmul dmull fdiv fdivl ddiv ddivl ffma ffmal dfma dfmal fsqrt "
     "fsqrtl dsqrt dsqrtl"},
    {"setjmp.h", "jmp_buf setjmp longjmp"},
    {"signal.h", "sig_atomic_t signal raise"},
    {"stdalign.h", "alignas alignof"},
    {"stdarg.h", "va_list va_start va_arg va_end va_copy"},
    {"stdatomic.h", "memory_order kill_dependency"},
    {"stdbool.h", "bool true false"},
    {"stdckdint.h", "ckd_add ckd_sub ckd_mul"},
    {"stdio.h",
     "FILE fpos_t BUFSIZ EOF FILENAME_MAX FOPEN_MAX L_tmpnam L_tmpnam_s SEEK_CUR SEEK_END "
     "SEEK_SET TMP_MAX TMP_MAX_S stdin stdout stderr remove rename tmpfile tmpnam fclose fflush "
     "fopen freopen setbuf setvbuf fprintf fscanf printf scanf snprintf sprintf sscanf vfprintf "
     "vfscanf vprintf vscanf vsnprintf vsprintf vsscanf fgetc fgets fputc fputs getc getchar "
     "gets putc putchar puts ungetc fread fwrite fgetpos fseek fsetpos ftell rewind clearerr feof "
     "ferror perror tmpfile_s tmpnam_s fopen_s freopen_s fprintf_s fscanf_s printf_s scanf_s "
     "snprintf_s sprintf_s sscanf_s vfprintf_s vfscanf_s vprintf_s vscanf_s vsnprintf_s "
     "vsprintf_s vsscanf_s gets_s"},
    {"stdlib.h",
     "EXIT_FAILURE EXIT_SUCCESS MB_CUR_MAX RAND_MAX div_t ldiv_t lldiv_t constraint_handler_t "
     "atof atoi atol atoll strtod strtof strtold strtol strtoll strtoul strtoull strfromd "
     "strfromf strfroml rand srand aligned_alloc calloc free free_sized free_aligned_sized malloc "
     "realloc memalignment abort atexit at_quick_exit exit quick_exit getenv getenv_s system "
     "bsearch bsearch_s qsort qsort_s abs labs llabs div ldiv lldiv mblen mbtowc wctomb mbstowcs "
     "wcstombs set_constraint_handler_s abort_handler_s ignore_handler_s wctomb_s mbstowcs_s "
     "wcstombs_s"},
    {"stdnoreturn.h", "noreturn"},
    {"string.h",
     "memcpy memccpy memmove strcpy strncpy strdup strndup strcat strncat memcmp strcmp strcoll "
     "strncmp strxfrm memchr strchr strcspn strpbrk strrchr strspn strstr strtok memset "
     "memset_explicit strerror strlen memcpy_s memmove_s strcpy_s strncpy_s strcat_s strncat_s "
     "strtok_s memset_s strerror_s strerrorlen_s strnlen_s"},
    {"threads.h", "thread_local ONCE_FLAG_INIT TSS_DTOR_ITERATIONS once_flag call_once"},
    {"time.h",
     "CLOCKS_PER_SEC clock_t time_t timespec tm clock difftime mktime timegm time timespec_get "
     "timespec_getres asctime ctime gmtime gmtime_r localtime localtime_r strftime asctime_s "
     "ctime_s gmtime_s localtime_s"},
    {"uchar.h",
     "mbstate_t char8_t char16_t char32_t mbrtoc8 c8rtomb mbrtoc16 c16rtomb mbrtoc32 c32rtomb"},
    {"wchar.h",
     "wchar_t wint_t WCHAR_MAX WCHAR_MIN WEOF fwprintf fwscanf swprintf swscanf vfwprintf "
     "vfwscanf vswprintf vswscanf vwprintf vwscanf wprintf wscanf fgetwc fgetws fputwc fputws "
     "fwide getwc getwchar putwc putwchar ungetwc wcstod wcstof wcstold wcstol wcstoll wcstoul "
     "wcstoull wcscpy wcsncpy wmemcpy wmemmove wcscat wcsncat wcscmp wcscoll wcsncmp wcsxfrm "
     "wmemcmp wcschr wcscspn wcspbrk wcsrchr wcsspn wcsstr wcstok wmemchr wcslen wmemset "
     "wcsftime btowc wctob mbsinit mbrlen mbrtowc wcrtomb mbsrtowcs wcsrtombs"},
    {"wctype.h",
     "wctrans_t wctype_t iswalnum iswalpha iswblank iswcntrl iswdigit iswgraph iswlower iswprint "
     "iswpunct iswspace iswupper iswxdigit iswctype wctype towlower towupper towctrans wctrans"},
};

// Families a header reserves as a whole: the macros of <errno.h>, <locale.h>, <signal.h>,
// <fenv.h>, <math.h>, <float.h>, <inttypes.h>, <stdatomic.h> and <time.h> by their prefixes, and
// the types and functions of <stdatomic.h>, <threads.h> and <stdbit.h>.
const std::pair<const char*, const char*> kFamilies[] = {
    {"errno.h", "E[0-9A-Z][0-9A-Z_]*"},
    {"locale.h", "LC_[A-Z][0-9A-Z_]*"},
    {"signal.h", "SIG_?[A-Z][0-9A-Z_]*"},
    {"fenv.h", "FE_[A-Z][0-9A-Z_]*"},
    {"math.h", "FP_[A-Z][0-9A-Z_]*"},
    {"float.h", "(FLT|DBL|LDBL|DEC32|DEC64|DEC128)_[0-9A-Z_]+"},
    {"inttypes.h", "(PRI|SCN)[a-zX][0-9A-Za-z_]*"},
    {"stdatomic.h", "(ATOMIC_[A-Z]|atomic_[a-z]|memory_order_[a-z])[0-9A-Za-z_]*"},
    {"threads.h", "(cnd|mtx|thrd|tss)_[a-z][0-9a-z_]*"},
    {"stdbit.h", "stdc_[a-z][0-9a-z_]*"},
    {"time.h", "TIME_[A-Z][0-9A-Z_]*"},
};

const std::map<std::string, const char*>& namesByHeader() {
    static const std::map<std::string, const char*> names = [] {
        std::map<std::string, const char*> m;
        auto add = [&m](const char* header, const char* list, const char* const* suffixes) {
            std::istringstream words(list);
            for (std::string w; words >> w;)
                for (const char* const* s = suffixes; *s; ++s) m.emplace(w + *s, header);
        };
        static const char* const kOne[] = {"", nullptr};
        static const char* const kMath[] = {"", "f", "l", "d32", "d64", "d128", nullptr};
        static const char* const kComplex[] = {"", "f", "l", nullptr};
        for (const auto& [header, list] : kHeaders) add(header, list, kOne);
        add("math.h", kMathFamilies, kMath);
        add("complex.h", kComplexFamilies, kComplex);
        return m;
    }();
    return names;
}

}  // namespace

const char* cLibraryHeader(const std::string& name, bool withFamilies) {
    const auto& names = namesByHeader();
    if (const auto it = names.find(name); it != names.end()) return it->second;
    if (!withFamilies) return nullptr;
    static const std::vector<std::pair<const char*, std::regex>> families = [] {
        std::vector<std::pair<const char*, std::regex>> v;
        for (const auto& [header, pattern] : kFamilies) v.emplace_back(header, std::regex(pattern));
        return v;
    }();
    for (const auto& [header, pattern] : families)
        if (std::regex_match(name, pattern)) return header;
    return nullptr;
}

}  // namespace embed
