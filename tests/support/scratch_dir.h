// A scratch folder of a test's own, so that runs side by side never share a file.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace test {

// A fresh folder under the system's temp folder, removed with everything in it.
class ScratchDir {
public:
    // create_directory answers true only for a folder it made, so a name already taken
    // is never shared; portable where mkdtemp is not (mingw).
    ScratchDir()
    {
        std::random_device random;
        std::error_code error;
        const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
        for (int attempt = 0; attempt < 100 && m_path.empty() && !error; ++attempt) {
            const auto path = temp / ("quorvel-test-" + std::to_string(random()));
            if (std::filesystem::create_directory(path, error)) m_path = path.string();
        }
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    bool Ok() const { return !m_path.empty(); }
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

}  // namespace test
