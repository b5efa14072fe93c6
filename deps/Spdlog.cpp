// The logging library's code, compiled once for the whole build instead of again in every unit that includes it.
#ifndef SPDLOG_COMPILED_LIB
#error "this unit holds the code that SPDLOG_COMPILED_LIB keeps out of the headers"
#endif

#include <mutex>

#include <spdlog/common-inl.h>
#include <spdlog/details/backtracer-inl.h>
#include <spdlog/details/log_msg-inl.h>
#include <spdlog/details/log_msg_buffer-inl.h>
#include <spdlog/details/os-inl.h>
#include <spdlog/logger-inl.h>
#include <spdlog/pattern_formatter-inl.h>
#include <spdlog/sinks/base_sink-inl.h>
#include <spdlog/sinks/sink-inl.h>

template class spdlog::sinks::base_sink<std::mutex>;
