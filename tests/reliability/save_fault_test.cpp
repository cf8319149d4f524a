// The configuration file under failing storage: every file operation of a
// save and of the load fails in turn, alone or as in a crash (every later
// operation failing too), and a failing write stores each possible number of
// its bytes. Whatever fails, "tq.cfg" afterwards is the complete previous
// file or the complete new one.
#include <string>

#include "sim_fixture.h"

namespace tovira::testing {
namespace {

constexpr char kCfg[] = "tq.cfg";
constexpr char kTemp[] = "tq.cfg.new";

class SaveFaultTest : public SimTest {
protected:
    // A file with every field in use, which the program loads completely.
    static ConfigLines full_file() {
        ConfigLines c;
        for (int k = 0; k < kSlotCount; ++k) {
            c.name(k) = "STATION " + std::to_string(k);
            c.position(k) = "EDDT_" + std::to_string(k) + "_TWR";
        }
        c[61] = " 42 ";
        c[62] = "-7 ";
        c[63] = " 300 ";
        c[64] = " 450 ";
        c[65] = " 3 ";
        c[66] = "5";
        c[67] = " 0 ";
        c[68] = "250";
        c[69] = " 1 ";
        return c;
    }

    // Starts the program on `old_text` and edits the table, so that a save
    // writes something else; returns what a save without faults writes.
    std::string start_and_edit(const std::string& old_text) {
        if (!old_text.empty()) write_config(old_text);
        start();
        form->t0[0]->set_text("RENAMED");
        form->t1[29]->set_text("EDWW_CTR");
        const std::string before = sim.fs.files.count(kCfg) ? sim.fs.files[kCfg] : "";
        const bool existed = sim.fs.files.count(kCfg) > 0;
        form->saveconfig();
        std::string written = sim.fs.files[kCfg];
        if (existed)
            sim.fs.files[kCfg] = before;
        else
            sim.fs.files.erase(kCfg);
        return written;
    }

    // Operations of one save without faults.
    int operations_of_a_save() {
        const auto files = sim.fs.files;
        const int from = sim.fs.operations();
        form->saveconfig();
        const int count = sim.fs.operations() - from;
        sim.fs.files = files;
        return count;
    }
};

TEST_F(SaveFaultTest, EveryOperationAndEveryByteOfTheWriteLeavesOldOrNewWhole) {
    const std::string old_text = full_file().text();
    const std::string new_text = start_and_edit(old_text);
    ASSERT_NE(new_text, old_text);
    const int ops = operations_of_a_save();
    ASSERT_GE(ops, 3);  // at least create, write, commit

    int saw_old = 0, saw_new = 0, partial_writes = 0;
    for (const bool crash : {false, true}) {
        for (int n = 1; n <= ops + 1; ++n) {
            // Every byte count up to the whole text, for whichever operation
            // is a write; the others ignore it.
            for (std::size_t partial = 0; partial <= new_text.size(); ++partial) {
                sim.fs.files.clear();
                sim.fs.files[kCfg] = old_text;
                sim.fs.fail_operation(n, crash, partial);
                const int before = sim.fs.operations();
                form->saveconfig();
                const int used = sim.fs.operations() - before;
                sim.fs.clear_failures();
                const std::string what = "operation " + std::to_string(n) +
                                         (crash ? " crash" : "") + " partial " +
                                         std::to_string(partial);
                ASSERT_EQ(sim.fs.files.count(kCfg), 1u) << what;
                const std::string& now = sim.fs.files[kCfg];
                ASSERT_TRUE(now == old_text || now == new_text) << what << ": " << now.size();
                (now == old_text ? saw_old : saw_new)++;
                // A leftover is only acceptable when nothing could be removed.
                if (!crash) {
                    EXPECT_EQ(sim.fs.files.count(kTemp), 0u) << what;
                }
                if (sim.fs.files.count(kTemp) && sim.fs.files[kTemp].size() == partial &&
                    partial < new_text.size())
                    ++partial_writes;

                // After a crash the next run's save succeeds over the leftovers.
                if (crash) {
                    form->saveconfig();
                    ASSERT_EQ(sim.fs.files[kCfg], new_text) << what;
                    EXPECT_EQ(sim.fs.files.count(kTemp), 0u) << what;
                }
                // Operations that did not fail take no byte count into account.
                if (n > used && partial > 0) break;
            }
        }
    }
    EXPECT_GT(saw_old, 0);
    EXPECT_GT(saw_new, 0);
    // The crash cases did reach the write and cut it at each byte.
    EXPECT_GT(partial_writes, static_cast<int>(new_text.size()) / 2);
}

TEST_F(SaveFaultTest, FirstSaveNeverLeavesAPartialFile) {
    // No file before: afterwards none, or the complete new one.
    const std::string new_text = start_and_edit("");
    ASSERT_EQ(sim.fs.files.count(kCfg), 0u);
    const int ops = operations_of_a_save();
    for (const bool crash : {false, true}) {
        for (int n = 1; n <= ops + 1; ++n) {
            for (const std::size_t partial :
                 {std::size_t{0}, std::size_t{1}, new_text.size() / 2, new_text.size() - 1}) {
                sim.fs.files.clear();
                sim.fs.fail_operation(n, crash, partial);
                form->saveconfig();
                sim.fs.clear_failures();
                if (sim.fs.files.count(kCfg)) {
                    EXPECT_EQ(sim.fs.files[kCfg], new_text)
                        << "operation " << n << " crash " << crash << " partial " << partial;
                }
            }
        }
    }
}

TEST_F(SaveFaultTest, StaleTemporaryFileNeverReachesTheConfiguration) {
    const std::string old_text = full_file().text();
    const std::string new_text = start_and_edit(old_text);
    // Half a file left by an earlier crash, and one longer than the new file.
    for (const std::string& stale :
         {new_text.substr(0, new_text.size() / 2), new_text + "garbage\r\n" + new_text}) {
        sim.fs.files.clear();
        sim.fs.files[kCfg] = old_text;
        sim.fs.files[kTemp] = stale;
        form->saveconfig();
        EXPECT_EQ(sim.fs.files[kCfg], new_text);
        EXPECT_EQ(sim.fs.files.count(kTemp), 0u);
    }
}

// The load reads the file with one open and several reads: whichever read
// fails, the save at the end must not put a partial table in the place of the
// complete file. (An open that fails looks like a missing file to the load.)
TEST_F(SaveFaultTest, ReadFailureAtAnyPointNeverCostsTheStoredTable) {
    // Long names, so that the file takes several reads.
    ConfigLines c = full_file();
    for (int k = 0; k < kSlotCount; ++k)
        c.name(k) = std::string(300, static_cast<char>('A' + k % 26));
    const std::string old_text = c.text();
    // Operations of a load without faults: the open and its reads.
    int load_ops = 0;
    {
        sim::SimPlatform s;
        s.fs.files[kCfg] = old_text;
        Form1 f(s);
        f.Form_Load();
        const int from = s.fs.operations();
        f.loadconfig();
        load_ops = s.fs.operations() - from;
        ASSERT_GE(load_ops, 4);
    }
    for (const bool crash : {false, true}) {
        for (int n = 2; n <= load_ops; ++n) {
            SCOPED_TRACE(::testing::Message() << "operation " << n << " crash " << crash);
            sim::SimPlatform s;
            s.fs.files[kCfg] = old_text;
            Form1 f(s);
            f.Form_Load();
            f.hide();
            s.fs.fail_operation(n, crash);
            f.loadconfig();
            s.fs.clear_failures();
            f.unload();
            EXPECT_EQ(s.fs.files[kCfg], old_text);
        }
    }
}

}  // namespace
}  // namespace tovira::testing
