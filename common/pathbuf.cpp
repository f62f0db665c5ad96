// The path buffer, its bounded edits, and its reader of registry text.
#include "pathbuf.h"

#include "names.h"
#include "registry.h"
#include "text.h"

char PathBuffer[MAX_PATH];

// The length of ANSI text, counted here: everything else counts wide text, with the system's one call.
static int TextLength(const char* text)
{
    int length = 0;
    while (text[length] != '\0')
        length++;
    return length;
}

bool CopyText(char* dest, int capacity, const char* text)
{
    int length = TextLength(text);
    if (length >= capacity)
        return false;
    CopyMemory(dest, text, length + 1);
    return true;
}

bool AppendText(char* dest, int capacity, const char* text)
{
    int length = TextLength(dest);
    if (length >= capacity)
        return false;
    return CopyText(dest + length, capacity - length, text);
}

bool AppendToPath(const char* text) { return AppendText(PathBuffer, sizeof PathBuffer, text); }

bool EnsureTrailingSeparator()
{
    int length = TextLength(PathBuffer);
    if (length == 0 || PathBuffer[length - 1] == '\\')
        return true;
    return AppendToPath("\\");
}

void StripTrailingSeparator()
{
    int length = TextLength(PathBuffer);
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
    if (EndsWithSuffix(PathBuffer, TextLength(PathBuffer)))
        return true;
    return AppendToPath(PRODUCT_SUFFIX);
}

bool ReadRegistryString(HKEY root, const WCHAR* key, const WCHAR* valueName)
{
    WCHAR text[MAX_PATH];
    BOOL lossy = FALSE;
    bool ok = ReadRegistryText(root, key, valueName, text, MAX_PATH) &&
              WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, PathBuffer, MAX_PATH, NULL, &lossy) > 0 &&
              !lossy;
    if (!ok)
        PathBuffer[0] = '\0';
    return ok;
}
