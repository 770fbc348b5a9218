// Waiting for a thread that sends messages to the waiting one.
#pragma once

#include <windows.h>

#include <functional>

// Waits for hThread to end while carrying out the messages other threads send
// to this one: a thread whose writes are such messages must be able to finish
// them to end. Every dwIntervalMs without an end, bGiveUp() is asked whether
// the wait ends all the same.
void WaitForThreadServingSentMessages(HANDLE hThread, DWORD dwIntervalMs, const std::function<BOOL()>& bGiveUp);
