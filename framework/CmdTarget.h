// Message tables in the framework's manner: each class that reacts to messages
// has a static table of {message, notification code, control ID, handler};
// one dispatcher scans a class's table and then its base class's.
#pragma once

#include "Object.h"

class CCmdTarget;

// A table entry's handler: calls the class's member with the message's
// arguments unpacked and gives back the message's result.
typedef LRESULT (*AFX_PHANDLER)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY
{
    UINT nMessage;
    UINT nCode;
    UINT nID;
    AFX_PHANDLER pfnHandler; // null ends the table
};

struct AFX_MSGMAP
{
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                                                                                          \
public:                                                                                                                \
    static const AFX_MSGMAP* GetThisMessageMap();                                                                      \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                                         \
    const AFX_MSGMAP* theClass::GetMessageMap() const                                                                  \
    {                                                                                                                  \
        return GetThisMessageMap();                                                                                    \
    }                                                                                                                  \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                                                    \
    {                                                                                                                  \
        typedef theClass ThisClass;                                                                                    \
        typedef baseClass TheBaseClass;                                                                                \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                                                              \
    {                                                                                                                  \
        0, 0, 0, nullptr                                                                                               \
    }                                                                                                                  \
    }                                                                                                                  \
    ;                                                                                                                  \
    static_cast<void>(sizeof(ThisClass*));                                                                             \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]};                      \
    return &messageMap;                                                                                                \
    }

#define AFX_HANDLER(call)                                                                                              \
    [](CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam) -> LRESULT {                                                 \
        static_cast<void>(wParam);                                                                                     \
        static_cast<void>(lParam);                                                                                     \
        ThisClass* pThis = static_cast<ThisClass*>(pTarget);                                                           \
        call;                                                                                                          \
    }

#define ON_COMMAND(id, memberFxn)                                                                                      \
    {                                                                                                                  \
        WM_COMMAND, 0, (UINT)(id), AFX_HANDLER((pThis->*(memberFxn))(); return 0)                                      \
    }                                                                                                                  \
    ,
// BN_CLICKED is 0, so ON_BN_CLICKED builds the same entry as ON_COMMAND, as in MFC.
#define ON_BN_CLICKED(id, memberFxn)                                                                                   \
    {                                                                                                                  \
        WM_COMMAND, BN_CLICKED, (UINT)(id), AFX_HANDLER((pThis->*(memberFxn))(); return 0)                             \
    }                                                                                                                  \
    ,
#define ON_WM_DESTROY()                                                                                                \
    {                                                                                                                  \
        WM_DESTROY, 0, 0, AFX_HANDLER(pThis->OnDestroy(); return 0)                                                    \
    }                                                                                                                  \
    ,
#define ON_WM_PAINT()                                                                                                  \
    {                                                                                                                  \
        WM_PAINT, 0, 0, AFX_HANDLER(pThis->OnPaint(); return 0)                                                        \
    }                                                                                                                  \
    ,
#define ON_WM_TIMER()                                                                                                  \
    {                                                                                                                  \
        WM_TIMER, 0, 0, AFX_HANDLER(pThis->OnTimer(static_cast<UINT_PTR>(wParam)); return 0)                           \
    }                                                                                                                  \
    ,
#define ON_WM_QUERYDRAGICON()                                                                                          \
    {WM_QUERYDRAGICON, 0, 0, AFX_HANDLER(return reinterpret_cast<LRESULT>(pThis->OnQueryDragIcon()))},
#define ON_WM_SIZE()                                                                                                   \
    {                                                                                                                  \
        WM_SIZE, 0, 0, AFX_HANDLER(pThis->OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam)); return 0) \
    }                                                                                                                  \
    ,
#define ON_WM_SETTINGCHANGE()                                                                                          \
    {                                                                                                                  \
        WM_SETTINGCHANGE, 0, 0,                                                                                        \
            AFX_HANDLER(pThis->OnSettingChange(static_cast<UINT>(wParam), reinterpret_cast<LPCSTR>(lParam)); return 0) \
    }                                                                                                                  \
    ,
#define ON_WM_SYSCOLORCHANGE()                                                                                         \
    {                                                                                                                  \
        WM_SYSCOLORCHANGE, 0, 0, AFX_HANDLER(pThis->OnSysColorChange(); return 0)                                      \
    }                                                                                                                  \
    ,
#define ON_WM_ACTIVATE()                                                                                               \
    {                                                                                                                  \
        WM_ACTIVATE, 0, 0, AFX_HANDLER(pThis->OnActivate(LOWORD(wParam), HIWORD(wParam) != 0); return 0)               \
    }                                                                                                                  \
    ,

class CCmdTarget : public CObject
{
    DECLARE_DYNAMIC(CCmdTarget)

public:
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

    // The first entry for the message along this class's chain of tables, or null.
    static const AFX_MSGMAP_ENTRY* FindMessageEntry(const AFX_MSGMAP* pMap, UINT nMessage, UINT nCode, UINT nID);

    // Calls the table's handler for a command; FALSE when none is in the table.
    virtual BOOL OnCmdMsg(UINT nID, int nCode);
};
