// The checker against the loaded plug-in: it reports an error for a list exactly when driving the hooks with the
// same file logs a failure for that list, with the same line, for generated faulty shapes and the fuzz corpora.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Check.h"
#include "HookVerdicts.h"
#include "PluginFixture.h"

namespace {

using nlohmann::json;

// Configurations built from the shapes the walks treat differently, chosen at random with a fixed seed.
class ShapeGenerator {
 public:
  explicit ShapeGenerator(unsigned seed) : random_(seed) {}

  std::string Text() {
    std::string text = Document().dump(Below(3) == 0 ? 2 : -1);
    if (Below(10) == 0) text = "\xEF\xBB\xBF" + text;
    if (Below(10) == 0) text += " {\"Destroylist\": 5}";
    return text;
  }

 private:
  std::size_t Below(std::size_t bound) { return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_); }

  template <typename T>
  const T& OneOf(const std::vector<T>& options) {
    return options[Below(options.size())];
  }

  json Scalar() { return OneOf<json>({nullptr, 0, -3, 12.9, true, false, "text", json::array(), {1}, json::object()}); }

  json Path() {
    return OneOf<json>({"Blueprint'/Game/Items/Crate.Crate'", "Blueprint'/Game/Dinos/Rex.Rex'",
                        "Blueprint'/Game/Dinos/Rex.Rex_C'", "/Game/Dinos/Rex.Rex", "Blueprint'/Game/Dinos/Rex.Rex' ",
                        "", "Blueprint''", "Blueprint'", "blueprint'/Game/Dinos/Rex.Rex'",
                        "Blueprint'/Game/Dinos/Rex.Default__Rex'", "Blueprint'/Game/Caf\xC3\xA9.Caf\xC3\xA9'"});
  }

  json Member() {
    switch (Below(6)) {
      case 0:
      case 1:
        return {{"Blueprint", Path()}};
      case 2:
        return {{"Blueprint", Scalar()}};
      case 3:
        return {{"blueprint", Path()}};
      default:
        return Scalar();
    }
  }

  json Entry() {
    switch (Below(5)) {
      case 0:
      case 1:
        return {{"ExceedSestructionLevel", OneOf<json>({150, 0, -5, 4294967295U, 12.9, 1e12, true})}};
      case 2:
        return {{"ExceedSestructionLevel", Scalar()}};
      case 3:
        return {{"ExceedDestructionLevel", 5}};
      default:
        return Scalar();
    }
  }

  json List(bool labelled) {
    switch (Below(8)) {
      case 0:
        return Scalar();
      case 1:
        return json::array({Member()});
      default: {
        json list = json::object();
        const std::size_t count = Below(5);
        for (std::size_t i = 0; i < count; ++i) {
          if (labelled) {
            list[OneOf<std::string>({"0", "a", "b", "Z", "x y", "", "\xC3\xA9"})] = Member();
          } else {
            list[Path().get<std::string>()] = Entry();
          }
        }
        return list;
      }
    }
  }

  json Document() {
    if (Below(12) == 0) return Scalar();
    json document = json::object();
    if (Below(5) != 0) document["Destroylist"] = List(true);
    if (Below(5) != 0) document["DestroyDinolist"] = List(true);
    if (Below(5) != 0) document["DestroyDinoLevel"] = List(false);
    if (Below(8) == 0) document["DestroyList"] = List(true);
    return document;
  }

  std::mt19937 random_;
};

class CheckDifferentialTest : public testing_support::PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    WriteConfig("{}");
    Load();
  }

  void ExpectAgreement(const std::string& text, const std::string& name) {
    WriteConfig(text);
    const check::Findings findings = check::CheckFile(ConfigPath().string());
    const auto hooks = verdicts::DriveHooks(text, [&](const std::string& bytes) {
      WriteConfig(bytes);
      const std::size_t before = connection_.replies.size();
      sandbox::ExecuteRcon(connection_, "Tidywarden.reload");
      return connection_.replies.size() == before + 1 && connection_.replies.back().Utf8() == "重新加载配置";
    });
    for (const auto& problem : verdicts::Disagreements(findings, hooks)) {
      ADD_FAILURE() << name << ": " << problem << "\n  configuration: " << text;
    }
    ++compared_;
    if (!findings.empty() && findings.front().severity == check::Severity::Error) ++withErrors_;
  }

  int compared_ = 0;
  int withErrors_ = 0;
};

TEST_F(CheckDifferentialTest, GeneratedShapes) {
  ShapeGenerator generator(20240611);
  for (int i = 0; i < 300; ++i) ExpectAgreement(generator.Text(), "generated #" + std::to_string(i));
  // The generator must keep producing both kinds, or the comparison would prove little.
  EXPECT_GT(withErrors_, 100);
  EXPECT_LT(withErrors_, 280);
}

TEST_F(CheckDifferentialTest, FuzzCorpora) {
  for (const char* corpus : {"fuzz_config_text", "fuzz_check"}) {
    const std::filesystem::path directory = std::filesystem::path(TIDYWARDEN_FUZZ_CORPUS_DIR) / corpus;
    const int before = compared_;
    for (const auto& file : std::filesystem::directory_iterator(directory)) {
      std::ifstream stream(file.path(), std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
      ExpectAgreement(bytes, file.path().filename().string());
    }
    EXPECT_GE(compared_ - before, 5) << "the corpus " << directory << " is missing";
  }
}

}  // namespace
