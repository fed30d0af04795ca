// What the recorder test plug-in saw, shared between it and the suites: every
// block with the time information it read, every MIDI event with the block it
// came in, the dispatcher opcodes, and the host's answers to its callbacks.
// Fixed arrays only, so the plug-in never allocates while it records.
#pragma once

#include <cstdint>

#include "vst/AEffect.h"

namespace Recorder {

// effVendorSpecific with this index stores a RecorderLog* into *ptr.
constexpr VstInt32 kLogRequest = vstFourCC('R', 'L', 'o', 'g');
// effVendorSpecific with this index makes effProcessEvents and processReplacing
// each burn `value` microseconds of the calling thread's CPU time.
constexpr VstInt32 kBusyRequest = vstFourCC('B', 'u', 's', 'y');
constexpr int kMaxBlocks = 8192;
constexpr int kMaxEvents = 8192;
constexpr int kParams = 4;
constexpr int kPrograms = 3;
constexpr int kChunkBytes = kParams * 4;
constexpr VstInt32 kUniqueID = vstFourCC('r', 'e', 'c', '1');
// An opcode the host interface never defined (5 is unused), and one far beyond the table.
constexpr VstInt32 kUnusedHostOpcode = 5;
constexpr VstInt32 kFarHostOpcode = 999;

struct Block {
    int32_t frames;
    int32_t timeInfoPresent;
    double samplePos;
    double sampleRate;
    double ppqPos;
    double tempo;
    double barStartPos;
    int32_t flags;
    int32_t flagsAtSecondRequest;  // a second audioMasterGetTime in the same block
    int32_t timeSigNumerator;
    int32_t timeSigDenominator;
    int32_t eventsBefore;  // events received before this block (all blocks so far)
    // The block's VstEvents list, read again inside processReplacing: how many
    // events still hold what effProcessEvents saw, and how many other
    // dispatcher calls came between the two (hosts make none).
    int32_t eventsStillIntact;
    int32_t callsBetweenEventsAndProcess;
};

struct Event {
    int32_t block;  // index of the processReplacing call it preceded
    int32_t type;
    int32_t byteSize;
    int32_t deltaFrames;
    uint8_t data[3];
};

// Answers the host gave to the callbacks the plug-in makes in effOpen.
struct OpenAnswers {
    VstIntPtr version;
    VstIntPtr automate;
    VstIntPtr beginEdit;
    VstIntPtr endEdit;
    VstIntPtr updateDisplay;
    VstIntPtr idle;
    VstIntPtr wantMidi;
    VstIntPtr unusedOpcode;
    VstIntPtr farOpcode;
    VstIntPtr canDoTimeInfo;
    VstIntPtr canDoNonsense;
    VstIntPtr sampleRate;
    VstIntPtr blockSize;
    char vendor[kVstMaxVendorStrLen];
    char product[kVstMaxProductStrLen];
};

// What the last closed instance of the library was asked, in order (without
// effProcessEvents and the log requests), kept past effClose in the library
// itself: its exported function `recorderLastClosed` returns it.
constexpr int kMaxSequence = 64;
struct Lifecycle {
    int32_t closes;          // instances closed since the library was loaded
    int32_t resumedAtClose;  // whether the last one was still resumed when closed
    int32_t length;
    int32_t opcodes[kMaxSequence];
    VstIntPtr values[kMaxSequence];
};
using LastClosedEntry = const Lifecycle* (*)();

struct Log {
    VstIntPtr versionAtEntry;
    OpenAnswers open;
    int32_t opcodeCounts[128];
    float sampleRate;
    VstIntPtr maxBlockSize;
    int32_t resumed;
    int32_t programAtResume;
    int32_t blockCount;
    int32_t eventCount;
    int64_t framesRendered;
    Block blocks[kMaxBlocks];
    Event events[kMaxEvents];
};

}  // namespace Recorder
