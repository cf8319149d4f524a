// "tq.cfg": the station table and the settings, 69 lines of CR LF text in
// the system's 8-bit code page, read once at start-up and written at unload.
#pragma once

#include <cstdint>

namespace tovira {

class Form1;

inline constexpr char kConfigFileName[] = "tq.cfg";
inline constexpr char kConfigTempName[] = "tq.cfg.new";
inline constexpr int kConfigLines = 69;

class ConfigFile {
public:
    explicit ConfigFile(Form1& form) : form_(form) {}

    // Applies the file line by line; the first error ends the load quietly.
    void loadconfig();
    // Writes the whole file beside the old one and replaces it in one step;
    // any failure leaves the old file whole. Skipped while the load has not
    // run, or when reading the file failed part way, so that an empty or
    // partial table never overwrites the user's stations.
    void saveconfig();

    bool loaded() const { return loaded_; }
    // The load got as far as recording the home position.
    bool home_loaded() const { return home_loaded_; }

    std::int32_t reserved1 = 0;
    std::int32_t reserved2 = 0;

private:
    Form1& form_;
    bool loaded_ = false;
    bool home_loaded_ = false;
};

}  // namespace tovira
