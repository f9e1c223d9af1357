#include "model/FCLocalization.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/foundation/Bundle.h"
#include "platform/foundation/FileManager.h"
#include "support/TestEnvironment.h"

TEST(FCLocalization, LooksUpEachTableAndFallsBackToTheKey) {
    memorant_test::TempDir dir;
    std::filesystem::create_directory(dir.file("en.lproj"));
    ASSERT_TRUE(writeStringAtomically("\"NewCardTopInitialValue\" = \"Question\u2026\";\n",
                                      dir.file("en.lproj/FCDeckView.strings")));
    ASSERT_TRUE(writeStringAtomically("\"ErrorListingAllDecks\" = \"Error during listing decks.\";\n",
                                      dir.file("en.lproj/FCPersistence.strings")));
    ASSERT_TRUE(
        writeStringAtomically("\"PluralizeOneCard\" = \"card\";\n", dir.file("en.lproj/FCCommonLocalizable.strings")));
    Bundle::setMainResourcePath(dir.str());

    EXPECT_EQ("Question\u2026", FCDeckViewLocalizedString("NewCardTopInitialValue"));
    EXPECT_EQ("Error during listing decks.", FCPersistenceLocalizedString("ErrorListingAllDecks"));
    EXPECT_EQ("card", FCCommonLocalizedString("PluralizeOneCard"));
    // Each function reads its own table; a missing key gives the key.
    EXPECT_EQ("PluralizeOneCard", FCDeckViewLocalizedString("PluralizeOneCard"));
    EXPECT_EQ("NewCardTopInitialValue", FCPersistenceLocalizedString("NewCardTopInitialValue"));
    EXPECT_EQ("Missing", FCCommonLocalizedString("Missing"));

    Bundle::setMainResourcePath("");
}
