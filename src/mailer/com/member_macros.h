#pragma once
// The row forms of mailer_members.def and the helpers that turn a row into
// C++ declarations. A file that includes the list defines
//   QP_SLOT(Iface, Kind, Name, Id, Type, Params, Bind, Default, Help)
// and, when it wants one call per member rather than per entry,
//   QP_MEMBER(Iface, Name, Id)
// Iface is IMailer or IMailer2; Kind is Method, PropertyGet or PropertyPut;
// Type is the result (Void when none); Params is a parenthesised list of
// (Type, name) pairs, "()" when empty; Bind is the operation the entry runs.
// Types are Bstr, Bool, I2 and I4, the automation kinds of the same names.

// A method: Result is its return value (Void for none).
#define QP_METHOD(Name, Id, Result, Params, Bind, Help) \
    QP_MEMBER(QP_IFACE, Name, Id)                       \
    QP_SLOT(QP_IFACE, Method, Name, Id, Result, Params, Bind, , Help)

// A property read and written; the help string goes with the read.
#define QP_PROPERTY(Name, Id, Type, Get, Put, Default, Help)               \
    QP_MEMBER(QP_IFACE, Name, Id)                                          \
    QP_SLOT(QP_IFACE, PropertyGet, Name, Id, Type, (), Get, Default, Help) \
    QP_SLOT(QP_IFACE, PropertyPut, Name, Id, Void, ((Type, Value)), Put, Default, "")

#define QP_READONLY(Name, Id, Type, Get, Default, Help) \
    QP_MEMBER(QP_IFACE, Name, Id)                       \
    QP_SLOT(QP_IFACE, PropertyGet, Name, Id, Type, (), Get, Default, Help)

#define QP_WRITEONLY(Name, Id, Type, Put, Default, Help) \
    QP_MEMBER(QP_IFACE, Name, Id)                        \
    QP_SLOT(QP_IFACE, PropertyPut, Name, Id, Void, ((Type, Value)), Put, Default, Help)

// --- helpers ---

#define QP_CAT(a, b) QP_CAT_(a, b)
#define QP_CAT_(a, b) a##b
#define QP_EXPAND(...) __VA_ARGS__
// Drops the first of a comma-separated list (an empty one before a leading comma).
#define QP_TAIL(...) QP_TAIL_(__VA_ARGS__)
#define QP_TAIL_(first, ...) __VA_ARGS__

// The number of (Type, name) pairs in Params, up to six.
#define QP_COUNT(Params) QP_COUNT_ Params
#define QP_COUNT_(...) QP_COUNT__(__VA_OPT__(__VA_ARGS__, ) 6, 5, 4, 3, 2, 1, 0, )
#define QP_COUNT__(a, b, c, d, e, f, n, ...) n

// F(Type, name) for each pair of Params.
#define QP_MAP(F, Params) QP_MAP_APPLY(QP_CAT(QP_MAP_, QP_COUNT(Params)), F, QP_EXPAND Params)
#define QP_MAP_APPLY(M, ...) M(__VA_ARGS__)
#define QP_MAP_0(F, ...)
#define QP_MAP_1(F, a) F a
#define QP_MAP_2(F, a, b) F a F b
#define QP_MAP_3(F, a, b, c) F a F b F c
#define QP_MAP_4(F, a, b, c, d) F a F b F c F d
#define QP_MAP_5(F, a, b, c, d, e) F a F b F c F d F e
#define QP_MAP_6(F, a, b, c, d, e, f) F a F b F c F d F e F f

// The C++ types of the virtual-table entries.
#define QP_CTYPE_Bstr BSTR
#define QP_CTYPE_Bool VARIANT_BOOL
#define QP_CTYPE_I2 SHORT
#define QP_CTYPE_I4 LONG

// The entry's name: the member's, or get_/put_ and the property's.
#define QP_ENTRY_NAME(Kind, Name) QP_CAT(QP_ENTRY_NAME_, Kind)(Name)
#define QP_ENTRY_NAME_Method(Name) Name
#define QP_ENTRY_NAME_PropertyGet(Name) get_##Name
#define QP_ENTRY_NAME_PropertyPut(Name) put_##Name

// The entry's parameter list: the arguments, then a pointer for the result.
#define QP_ENTRY_PARAMS(Type, Params) \
    QP_TAIL(QP_MAP(QP_ENTRY_PARAM, Params) QP_CAT(QP_ENTRY_RESULT_, Type))
#define QP_ENTRY_PARAM(Type, name) , QP_CTYPE_##Type name
#define QP_ENTRY_RESULT_Void
#define QP_ENTRY_RESULT_Bstr , BSTR* Value
#define QP_ENTRY_RESULT_Bool , VARIANT_BOOL* Value
#define QP_ENTRY_RESULT_I2 , SHORT* Value
#define QP_ENTRY_RESULT_I4 , LONG* Value

// One entry as a pure virtual function (Suffix "= 0") or an override.
#define QP_ENTRY_DECLARATION(Kind, Name, Type, Params, Suffix)                                 \
    virtual HRESULT STDMETHODCALLTYPE QP_ENTRY_NAME(Kind, Name)(QP_ENTRY_PARAMS(Type, Params)) \
        Suffix;
