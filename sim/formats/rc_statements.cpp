// The statements of a resource script, read from its tokens: LANGUAGE,
// ICON and BITMAP files, DIALOG and DIALOGEX templates with their control
// statements (given the default styles the resource compiler gives them),
// STRINGTABLE, and the expressions of numbers, names and styles. A
// problem throws ResourceScriptError with the file and line of the token
// it was found at.
#include "sim/base/text.h"
#include "sim/formats/rc_scanner.h"
#include "sim/include/windows.h"

namespace sim::rc {

namespace {


// The constants of the Windows headers a script may name (the script's
// `#include <windows.h>` is not read).
const std::map<std::string, long long>& WindowsConstants() {
    // clang-format off
#define TAV_RC_CONSTANT(name) {#name, static_cast<long long>(name)}
    static const std::map<std::string, long long> constants = {
        TAV_RC_CONSTANT(WS_OVERLAPPED), TAV_RC_CONSTANT(WS_POPUP), TAV_RC_CONSTANT(WS_CHILD),
        TAV_RC_CONSTANT(WS_MINIMIZE), TAV_RC_CONSTANT(WS_VISIBLE), TAV_RC_CONSTANT(WS_DISABLED),
        TAV_RC_CONSTANT(WS_CLIPSIBLINGS), TAV_RC_CONSTANT(WS_CLIPCHILDREN), TAV_RC_CONSTANT(WS_MAXIMIZE),
        TAV_RC_CONSTANT(WS_CAPTION), TAV_RC_CONSTANT(WS_BORDER), TAV_RC_CONSTANT(WS_DLGFRAME),
        TAV_RC_CONSTANT(WS_VSCROLL), TAV_RC_CONSTANT(WS_HSCROLL), TAV_RC_CONSTANT(WS_SYSMENU),
        TAV_RC_CONSTANT(WS_THICKFRAME), TAV_RC_CONSTANT(WS_GROUP), TAV_RC_CONSTANT(WS_TABSTOP),
        TAV_RC_CONSTANT(WS_MINIMIZEBOX), TAV_RC_CONSTANT(WS_MAXIMIZEBOX),
        TAV_RC_CONSTANT(WS_EX_DLGMODALFRAME), TAV_RC_CONSTANT(WS_EX_NOPARENTNOTIFY), TAV_RC_CONSTANT(WS_EX_TOPMOST),
        TAV_RC_CONSTANT(WS_EX_TRANSPARENT), TAV_RC_CONSTANT(WS_EX_TOOLWINDOW), TAV_RC_CONSTANT(WS_EX_WINDOWEDGE),
        TAV_RC_CONSTANT(WS_EX_CLIENTEDGE), TAV_RC_CONSTANT(WS_EX_CONTROLPARENT), TAV_RC_CONSTANT(WS_EX_STATICEDGE),
        TAV_RC_CONSTANT(WS_EX_APPWINDOW),
        TAV_RC_CONSTANT(DS_ABSALIGN), TAV_RC_CONSTANT(DS_SYSMODAL), TAV_RC_CONSTANT(DS_3DLOOK),
        TAV_RC_CONSTANT(DS_FIXEDSYS), TAV_RC_CONSTANT(DS_NOFAILCREATE), TAV_RC_CONSTANT(DS_LOCALEDIT),
        TAV_RC_CONSTANT(DS_SETFONT), TAV_RC_CONSTANT(DS_MODALFRAME), TAV_RC_CONSTANT(DS_NOIDLEMSG),
        TAV_RC_CONSTANT(DS_SETFOREGROUND), TAV_RC_CONSTANT(DS_CONTROL), TAV_RC_CONSTANT(DS_CENTER),
        TAV_RC_CONSTANT(DS_CENTERMOUSE), TAV_RC_CONSTANT(DS_CONTEXTHELP), TAV_RC_CONSTANT(DS_SHELLFONT),
        TAV_RC_CONSTANT(BS_PUSHBUTTON), TAV_RC_CONSTANT(BS_DEFPUSHBUTTON), TAV_RC_CONSTANT(BS_CHECKBOX),
        TAV_RC_CONSTANT(BS_AUTOCHECKBOX), TAV_RC_CONSTANT(BS_GROUPBOX),
        TAV_RC_CONSTANT(SS_LEFT), TAV_RC_CONSTANT(SS_CENTER), TAV_RC_CONSTANT(SS_RIGHT), TAV_RC_CONSTANT(SS_ICON),
        TAV_RC_CONSTANT(SS_BITMAP), TAV_RC_CONSTANT(SS_NOPREFIX), TAV_RC_CONSTANT(SS_CENTERIMAGE),
        TAV_RC_CONSTANT(SS_REALSIZEIMAGE), TAV_RC_CONSTANT(SS_SUNKEN),
        TAV_RC_CONSTANT(ES_LEFT), TAV_RC_CONSTANT(ES_CENTER), TAV_RC_CONSTANT(ES_MULTILINE),
        TAV_RC_CONSTANT(ES_AUTOVSCROLL), TAV_RC_CONSTANT(ES_AUTOHSCROLL), TAV_RC_CONSTANT(ES_READONLY),
        TAV_RC_CONSTANT(IDOK), TAV_RC_CONSTANT(IDCANCEL), TAV_RC_CONSTANT(IDABORT), TAV_RC_CONSTANT(IDRETRY),
        TAV_RC_CONSTANT(IDIGNORE), TAV_RC_CONSTANT(IDYES), TAV_RC_CONSTANT(IDNO),
        {"LANG_NEUTRAL", 0}, {"LANG_ENGLISH", 9}, {"SUBLANG_NEUTRAL", 0}, {"SUBLANG_DEFAULT", 1},
        {"SUBLANG_ENGLISH_US", 1},
    };
#undef TAV_RC_CONSTANT
    // clang-format on
    return constants;
}

// The styles of a style expression: those OR-ed in, and those NOT removes.
struct StyleBits {
    DWORD set = 0;
    DWORD removed = 0;
};

DWORD Apply(DWORD defaults, const StyleBits& bits) { return (defaults | bits.set) & ~bits.removed; }

class Parser {
public:
    Parser(std::vector<Token> tokens, const Defines& defines)
        : tokens_(std::move(tokens)), defines_(defines) {}

    ResourceScript Parse() {
        for (const auto& [name, value] : defines_) {
            if (value.empty()) continue;
            try {
                script_.defines[name] = EvaluateDefine(name, 0);
            } catch (const ResourceScriptError&) {
                // A definition that is not a number (a string, say) is only
                // an error where the script uses it as one.
            }
        }
        while (Peek().kind != Token::Kind::End) Statement();
        return std::move(script_);
    }

private:
    const Token& Peek(size_t ahead = 0) const {
        const size_t at = pos_ + ahead;
        return at < tokens_.size() ? tokens_[at] : tokens_.back();
    }
    Token Next() {
        Token t = Peek();
        if (pos_ < tokens_.size() - 1) ++pos_;
        return t;
    }
    [[noreturn]] void Fail(const Token& at, const std::string& message) const {
        throw ResourceScriptError(at.file, at.line, message);
    }
    static std::string Describe(const Token& t) {
        switch (t.kind) {
            case Token::Kind::Ident: return t.text;
            case Token::Kind::Number: return t.text;
            case Token::Kind::String: return "\"" + t.text + "\"";
            case Token::Kind::Punct: return "'" + t.text + "'";
            case Token::Kind::End: return "the end of the file";
        }
        return "";
    }
    bool IsWord(const Token& t, const char* word) const {
        return t.kind == Token::Kind::Ident && EqualNoCase(t.text, word);
    }
    bool IsPunct(const Token& t, char c) const { return t.kind == Token::Kind::Punct && t.text[0] == c; }
    void ExpectPunct(char c, const char* what) {
        if (!IsPunct(Peek(), c))
            Fail(Peek(), std::string("expected '") + c + "' " + what + ", found " + Describe(Peek()));
        Next();
    }
    void ExpectComma(const char* what) { ExpectPunct(',', what); }
    bool TakeComma() {
        if (!IsPunct(Peek(), ',')) return false;
        Next();
        return true;
    }
    void ExpectBegin() {
        if (IsWord(Peek(), "BEGIN") || IsPunct(Peek(), '{')) {
            Next();
            return;
        }
        Fail(Peek(), "expected BEGIN, found " + Describe(Peek()));
    }
    bool TakeEnd() {
        if (IsWord(Peek(), "END") || IsPunct(Peek(), '}')) {
            Next();
            return true;
        }
        return false;
    }
    std::string ExpectString(const char* what) {
        if (Peek().kind != Token::Kind::String)
            Fail(Peek(), std::string("expected ") + what + ", found " + Describe(Peek()));
        return Next().text;
    }

    // ---- expressions -------------------------------------------------------
    long long NameValue(const Token& name, int depth) {
        if (defines_.count(name.text)) return EvaluateDefine(name.text, depth + 1);
        auto it = WindowsConstants().find(name.text);
        if (it != WindowsConstants().end()) return it->second;
        Fail(name, "undefined name " + name.text);
    }

    long long EvaluateDefine(const std::string& name, int depth) {
        const std::vector<Token>& value = defines_.at(name);
        if (value.empty()) Fail(Peek(), "#define " + name + " has no value");
        if (depth > 16) Fail(value.front(), "#define " + name + " refers to itself");
        Parser inner(value, defines_);
        Token end;
        end.kind = Token::Kind::End;
        end.line = value.back().line;
        end.file = value.back().file;
        inner.tokens_.push_back(end);
        const long long result = inner.Or(depth);
        if (inner.Peek().kind != Token::Kind::End) Fail(inner.Peek(), "#define " + name + " is not a number");
        return result;
    }

    long long Primary(int depth) {
        const Token t = Peek();
        if (IsPunct(t, '(')) {
            Next();
            const long long v = Or(depth);
            ExpectPunct(')', "to close the expression");
            return v;
        }
        if (IsPunct(t, '-')) {
            Next();
            return -Primary(depth);
        }
        if (IsPunct(t, '+')) {
            Next();
            return Primary(depth);
        }
        if (IsPunct(t, '~') || IsWord(t, "NOT")) {
            Next();
            return ~Primary(depth);
        }
        if (t.kind == Token::Kind::Number) {
            Next();
            return t.number;
        }
        if (t.kind == Token::Kind::Ident) {
            Next();
            return NameValue(t, depth);
        }
        Fail(t, "expected a number, found " + Describe(t));
    }
    long long Additive(int depth) {
        long long v = Primary(depth);
        while (IsPunct(Peek(), '+') || IsPunct(Peek(), '-')) {
            const bool plus = IsPunct(Next(), '+');
            const long long r = Primary(depth);
            v = plus ? v + r : v - r;
        }
        return v;
    }
    long long And(int depth) {
        long long v = Additive(depth);
        while (IsPunct(Peek(), '&')) {
            Next();
            v &= Additive(depth);
        }
        return v;
    }
    long long Or(int depth) {
        long long v = And(depth);
        while (IsPunct(Peek(), '|')) {
            Next();
            v |= And(depth);
        }
        return v;
    }
    int Int() { return static_cast<int>(Or(0)); }

    // A style: terms joined by '|', where "NOT term" removes the term's bits.
    StyleBits Style() {
        StyleBits bits;
        while (true) {
            if (IsWord(Peek(), "NOT")) {
                Next();
                bits.removed |= static_cast<DWORD>(Primary(0));
            } else {
                bits.set |= static_cast<DWORD>(And(0));
            }
            if (!IsPunct(Peek(), '|')) break;
            Next();
        }
        return bits;
    }

    // A resource's name: a number, or a name the header defines.
    int ResourceId() {
        const Token t = Peek();
        if (t.kind == Token::Kind::Number || t.kind == Token::Kind::Ident) return static_cast<int>(Or(0));
        Fail(t, "expected a resource name, found " + Describe(t));
    }

    // ---- statements --------------------------------------------------------
    void SkipMemoryOptions() {
        static const char* const kOptions[] = {"DISCARDABLE", "MOVEABLE",   "FIXED",  "PURE",     "IMPURE",
                                               "PRELOAD",     "LOADONCALL", "SHARED", "NONSHARED"};
        while (Peek().kind == Token::Kind::Ident) {
            bool option = false;
            for (const char* o : kOptions) option = option || IsWord(Peek(), o);
            if (!option) return;
            Next();
        }
    }

    void Statement() {
        const Token t = Peek();
        if (IsWord(t, "LANGUAGE")) {
            Next();
            script_.language = Int();
            ExpectComma("between the language and the sublanguage");
            script_.sublanguage = Int();
            return;
        }
        if (IsWord(t, "STRINGTABLE")) {
            Next();
            StringTable();
            return;
        }
        if (t.kind != Token::Kind::Number && t.kind != Token::Kind::Ident) {
            Fail(t, "expected a resource statement, found " + Describe(t));
        }
        const int id = ResourceId();
        const Token type = Next();
        if (IsWord(type, "ICON") || IsWord(type, "BITMAP")) {
            SkipMemoryOptions();
            const std::string fileName = ExpectString("the file name");
            auto& table = IsWord(type, "ICON") ? script_.icons : script_.bitmaps;
            if (!table.emplace(id, fileName).second) Fail(type, "resource " + std::to_string(id) + " defined twice");
            return;
        }
        if (IsWord(type, "DIALOGEX") || IsWord(type, "DIALOG")) {
            Dialog(id, IsWord(type, "DIALOGEX"), type);
            return;
        }
        Fail(type, "unsupported resource type " + Describe(type));
    }

    void StringTable() {
        SkipMemoryOptions();
        while (IsWord(Peek(), "LANGUAGE")) {
            Next();
            Int();
            ExpectComma("between the language and the sublanguage");
            Int();
        }
        ExpectBegin();
        while (!TakeEnd()) {
            if (Peek().kind == Token::Kind::End) Fail(Peek(), "STRINGTABLE without END");
            const Token at = Peek();
            const long long id = Or(0);
            if (id < 0 || id > 0xFFFF) Fail(at, "string id out of range: " + std::to_string(id));
            TakeComma();
            const std::string text = ExpectString("the string");
            if (!script_.strings.emplace(static_cast<UINT>(id), text).second) {
                Fail(at, "string " + std::to_string(id) + " defined twice");
            }
        }
    }

    void Dialog(int id, bool extended, const Token& at) {
        DialogTemplate dialog;
        dialog.id = id;
        dialog.extended = extended;
        SkipMemoryOptions();
        dialog.rect.x = Int();
        ExpectComma("after the dialog's x");
        dialog.rect.y = Int();
        ExpectComma("after the dialog's y");
        dialog.rect.cx = Int();
        ExpectComma("after the dialog's width");
        dialog.rect.cy = Int();
        if (extended && TakeComma()) Int();  // the help id

        bool gotStyle = false;
        StyleBits style;
        StyleBits exStyle;
        bool gotCaption = false;
        while (true) {
            const Token t = Peek();
            if (IsWord(t, "STYLE")) {
                Next();
                const StyleBits more = Style();
                style.set |= more.set;
                style.removed |= more.removed;
                gotStyle = true;
            } else if (IsWord(t, "EXSTYLE")) {
                Next();
                const StyleBits more = Style();
                exStyle.set |= more.set;
                exStyle.removed |= more.removed;
            } else if (IsWord(t, "CAPTION")) {
                Next();
                dialog.caption = ExpectString("the caption");
                gotCaption = true;
            } else if (IsWord(t, "FONT")) {
                Next();
                DialogFont font;
                font.pointSize = Int();
                ExpectComma("after the font size");
                font.face = ExpectString("the font name");
                // DIALOGEX fonts may add weight, italic and character set.
                while (extended && TakeComma()) Int();
                dialog.font = font;
            } else if (IsWord(t, "LANGUAGE")) {
                Next();
                Int();
                ExpectComma("between the language and the sublanguage");
                Int();
            } else if (IsWord(t, "CHARACTERISTICS") || IsWord(t, "VERSION")) {
                Next();
                Int();
            } else {
                break;
            }
        }
        // The resource compiler's defaults: a pop-up with border and system
        // menu when no STYLE is given; CAPTION adds a title bar, FONT the
        // flag that tells Windows the template names a font.
        DWORD defaults = gotStyle ? 0 : static_cast<DWORD>(WS_POPUP | WS_BORDER | WS_SYSMENU);
        if (gotCaption) defaults |= WS_CAPTION;
        if (dialog.font) defaults |= DS_SETFONT;
        dialog.style = Apply(defaults, style);
        dialog.exStyle = Apply(0, exStyle);

        ExpectBegin();
        while (!TakeEnd()) {
            if (Peek().kind == Token::Kind::End) Fail(Peek(), "dialog without END");
            dialog.controls.push_back(Control());
        }
        if (!script_.dialogs.emplace(id, std::move(dialog)).second) {
            Fail(at, "dialog " + std::to_string(id) + " defined twice");
        }
    }

    DialogUnitsRect Rect() {
        DialogUnitsRect r;
        r.x = Int();
        ExpectComma("after the control's x");
        r.y = Int();
        ExpectComma("after the control's y");
        r.cx = Int();
        ExpectComma("after the control's width");
        r.cy = Int();
        return r;
    }

    // The optional ", style [, extended style]" that ends most control lines.
    void TrailingStyles(StyleBits& style, StyleBits& exStyle) {
        if (!TakeComma()) return;
        style = Style();
        if (!TakeComma()) return;
        exStyle = Style();
    }

    // Text or a numbered image, as ICON and CONTROL take them.
    void TextOrImage(DialogControl& control) {
        if (Peek().kind == Token::Kind::String) {
            control.text = Next().text;
        } else {
            control.imageId = static_cast<int>(Or(0));
        }
    }

    DialogControl Control() {
        const Token statement = Next();
        if (statement.kind != Token::Kind::Ident) Fail(statement, "expected a control, found " + Describe(statement));
        DialogControl control;
        control.statement = Upper(statement.text);
        const std::string& s = control.statement;
        StyleBits style;
        StyleBits exStyle;
        DWORD defaults = WS_CHILD | WS_VISIBLE;

        struct Labelled {
            const char* name;
            const char* className;
            DWORD defaults;
        };
        static const Labelled kLabelled[] = {
            {"PUSHBUTTON", "Button", BS_PUSHBUTTON | WS_TABSTOP},
            {"DEFPUSHBUTTON", "Button", BS_DEFPUSHBUTTON | WS_TABSTOP},
            {"LTEXT", "Static", SS_LEFT | WS_GROUP},
            {"CTEXT", "Static", SS_CENTER | WS_GROUP},
            {"RTEXT", "Static", SS_RIGHT | WS_GROUP},
            {"GROUPBOX", "Button", BS_GROUPBOX},
            {"CHECKBOX", "Button", BS_CHECKBOX | WS_TABSTOP},
            {"AUTOCHECKBOX", "Button", BS_AUTOCHECKBOX | WS_TABSTOP},
        };
        for (const Labelled& kind : kLabelled) {
            if (s != kind.name) continue;
            control.className = kind.className;
            control.text = ExpectString("the control's text");
            TakeComma();
            control.id = Int();
            ExpectComma("after the control's id");
            control.rect = Rect();
            TrailingStyles(style, exStyle);
            control.style = Apply(defaults | kind.defaults, style);
            control.exStyle = Apply(0, exStyle);
            return control;
        }
        if (s == "EDITTEXT") {
            control.className = "Edit";
            control.id = Int();
            ExpectComma("after the control's id");
            control.rect = Rect();
            TrailingStyles(style, exStyle);
            control.style = Apply(defaults | ES_LEFT | WS_BORDER | WS_TABSTOP, style);
            control.exStyle = Apply(0, exStyle);
            return control;
        }
        if (s == "ICON") {
            control.className = "Static";
            TextOrImage(control);
            TakeComma();
            control.id = Int();
            ExpectComma("after the control's id");
            control.rect.x = Int();
            ExpectComma("after the control's x");
            control.rect.y = Int();
            if (TakeComma()) {
                control.rect.cx = Int();
                ExpectComma("after the control's width");
                control.rect.cy = Int();
                TrailingStyles(style, exStyle);
            }
            control.style = Apply(defaults | SS_ICON, style);
            control.exStyle = Apply(0, exStyle);
            return control;
        }
        if (s == "CONTROL") {
            TextOrImage(control);
            TakeComma();
            control.id = Int();
            ExpectComma("after the control's id");
            control.className = ExpectString("the control's class");
            static const char* const kClasses[] = {"Button", "Static", "Edit", "ListBox", "ComboBox", "ScrollBar"};
            for (const char* known : kClasses) {
                if (EqualNoCase(control.className, known)) control.className = known;
            }
            ExpectComma("after the control's class");
            style = Style();
            ExpectComma("after the control's style");
            control.rect = Rect();
            if (TakeComma()) exStyle = Style();
            control.style = Apply(defaults, style);
            control.exStyle = Apply(0, exStyle);
            return control;
        }
        Fail(statement, "unsupported control statement " + statement.text);
    }

    std::vector<Token> tokens_;
    const Defines& defines_;
    size_t pos_ = 0;
    ResourceScript script_;
};

}  // namespace

ResourceScript ParseStatements(std::vector<Token> tokens, const Defines& defines) {
    return Parser(std::move(tokens), defines).Parse();
}

}  // namespace sim::rc
