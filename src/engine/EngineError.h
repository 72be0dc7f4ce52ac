#pragma once
#include <stdexcept>
#include <string>

namespace sondrel {

// Every failing engine operation throws this; the message names the file (where there is
// one) and the reason given by the library underneath.
class EngineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A write the system refused (a full disk, an I/O error): the file written is damaged.
class WriteFailure : public EngineError {
public:
    using EngineError::EngineError;
};

// The operation was stopped through its cancel flag (the user stopped the work); nothing is
// wrong with the file.
class CancelledError : public EngineError {
public:
    using EngineError::EngineError;
};

// Play() found no sound output (no PulseAudio/PipeWire server, no device). Callers that
// treat a missing sound device as an expected condition catch this one.
class NoAudioDeviceError : public EngineError {
public:
    using EngineError::EngineError;
};

} // namespace sondrel
