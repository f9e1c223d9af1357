#include "model/FCTextColorScheme.h"

const std::vector<std::string>& FCTextColorScheme::defaultTextColorScheme() {
    static const std::vector<std::string> colors = {
        "56C1FF", "72FCE9", "88FA4F", "FFFC66", "FF978D", "FE8CC6",  //
        "00A2FF", "17E7CF", "60D835", "FAE232", "FF644F", "EF5FA8",  //
        "0176BA", "07A89D", "1DB100", "F8BA02", "EF220C", "CB297B",  //
        "014C7F", "037C76", "067100", "FF9300", "B31700", "97195E",  //
        "FFFFFF", "D5D5D5", "929292", "5E5E5E", "000000",
    };
    return colors;
}

const std::vector<std::string>& FCTextColorScheme::defaultTextColorSchemeArrangedAsOne() {
    static const std::vector<std::string> colors = {
        "56C1FF", "00A2FF", "0176BA", "014C7F",  // blue
        "72FCE9", "17E7CF", "07A89D", "037C76",  // turquoise
        "88FA4F", "60D835", "1DB100", "067100",  // green
        "FFFC66", "FAE232", "F8BA02", "FF9300",  // yellow to orange
        "FF978D", "FF644F", "EF220C", "B31700",  // red
        "FE8CC6", "EF5FA8", "CB297B", "97195E",  // pink
        "FFFFFF", "D5D5D5", "929292", "5E5E5E", "000000",
    };
    return colors;
}
