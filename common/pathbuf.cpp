// The path buffer and its bounded edits.
#include "pathbuf.h"

#include "names.h"
#include "text.h"

char PathBuffer[MAX_PATH];

bool AppendToPath(const char* text)
{
    return AppendText(PathBuffer, sizeof PathBuffer, text);
}

bool EnsureTrailingSeparator()
{
    int length = lstrlenA(PathBuffer);
    if (length == 0 || PathBuffer[length - 1] == '\\')
        return true;
    return AppendToPath("\\");
}

void StripTrailingSeparator()
{
    int length = lstrlenA(PathBuffer);
    if (length > 0 && PathBuffer[length - 1] == '\\')
        PathBuffer[length - 1] = '\0';
}

// Equal letter for letter, upper or lower case alike: the suffix is plain ASCII, whatever the user's locale.
static bool EndsWithSuffix(const char* text, int length)
{
    int suffixLength = sizeof PRODUCT_SUFFIX - 1;
    if (length < suffixLength)
        return false;
    text += length - suffixLength;
    for (int i = 0; i < suffixLength; i++) {
        char a = text[i], b = PRODUCT_SUFFIX[i];
        if ((a >= 'A' && a <= 'Z' ? a + 32 : a) != (b >= 'A' && b <= 'Z' ? b + 32 : b))
            return false;
    }
    return true;
}

bool ApplyProductSuffix()
{
    if (EndsWithSuffix(PathBuffer, lstrlenA(PathBuffer)))
        return true;
    return AppendToPath(PRODUCT_SUFFIX);
}
