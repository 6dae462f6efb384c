#pragma once

namespace ostrel::buildSettings {

// The build information given at configure time (CMake cache variables), compiled into one
// generated file so that changing one of them rebuilds only that file. An empty text means unset.
extern const char *const apiProto;
extern const char *const apiHost;
extern const char *const environment;
extern const char *const publicHost;
extern const char *const updateHost;
extern const char *const version;
extern const char *const build;
// The processor the build targets (CMAKE_SYSTEM_PROCESSOR).
extern const char *const architecture;

} // namespace ostrel::buildSettings
