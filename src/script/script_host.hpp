#pragma once

// A script host: one platform script control ("ScriptControl") set to JScript,
// with the control's error object, for adding script code, running statements,
// calling script functions by name and evaluating expressions, plus a few text
// operations built on JScript.
//
// Every operation goes through the late-bound calls of the automation layer
// and fails softly: a failed call does nothing or gives the empty value of its
// kind and sets the thread's last automation error. ErrorText tells what the
// control's error object holds.
//
// A host is made, used and destroyed on one thread. The constructor
// initialises the component library for that thread and the destructor
// uninitialises it once; a copy does the same for itself.

#include <cstdint>

#include "automation/variant.hpp"
#include "text/text.hpp"

namespace tralvex {

class ScriptHost {
  public:
    // The initialiser: CoInitialize, creation of "ScriptControl", Language <-
    // "JScript", and the "Error" object kept. When the control cannot be
    // created both handles stay empty and every operation fails softly.
    ScriptHost();
    virtual ~ScriptHost();
    // The copy refers to the same control and error object, with references
    // of its own. It initialises the component library for the thread itself,
    // so that its destructor's CoUninitialize stays balanced.
    ScriptHost(const ScriptHost& source);
    ScriptHost& operator=(const ScriptHost&) = delete;

    // Defines the script function gettime_add(t), the current time in
    // milliseconds plus t.
    virtual void DefineTimeAdd();
    // Line, column, number, source, description and statement of the error
    // object, read afresh: "【第3 行，第5列 错误】【代码：1004】【源：...】..."
    virtual Text ErrorText() const;
    // A new reference to the script control; empty when there is none.
    virtual automation::AutomationObject ControlObject() const;
    virtual void AddCode(const Text& code);
    virtual void ExecuteStatement(const Text& statement);
    virtual void Reset();
    // Calls the script function `name`, always with five arguments; an
    // omitted (empty) one arrives as a missing argument.
    virtual automation::Variant Run(const Text& name, const automation::Variant& a1 = {},
                                    const automation::Variant& a2 = {},
                                    const automation::Variant& a3 = {},
                                    const automation::Variant& a4 = {},
                                    const automation::Variant& a5 = {});
    virtual automation::Variant Eval(const Text& expression);
    // Does nothing.
    virtual void Reserved();
    // Calls the script function `name` with five texts, an omitted one being
    // the empty text, and gives its value as text.
    virtual Text RunText(const Text& name, const Text& t1 = {}, const Text& t2 = {},
                         const Text& t3 = {}, const Text& t4 = {}, const Text& t5 = {});
    // Math.random() as text, with a "0" put before a leading ".".
    virtual Text Random();
    // The current time in milliseconds since 1970 as text.
    virtual Text CurrentTime();
    // The current time in milliseconds plus `offset`, as text.
    virtual Text TimeAdd(std::int32_t offset = 0);
    virtual Text Escape(const Text& text);
    virtual Text Unescape(const Text& text);
    virtual Text EncodeUri(const Text& text);
    virtual Text DecodeUri(const Text& text);
    virtual Text EncodeUriComponent(const Text& text);
    virtual Text DecodeUriComponent(const Text& text);

  private:
    Text RunGlobal(const char* function, const Text& text);

    automation::AutomationObject control;
    automation::AutomationObject errorObject;
};

}  // namespace tralvex
