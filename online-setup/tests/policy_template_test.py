"""Checks the administrative template (deploy/policy) against the installer:
the ADMX names exactly the values the installer reads (runner/admin_policy.h),
under its key, as the registry type and within the range it accepts, and each
language file (en-US, zh-CN) holds exactly the texts and presentations the
ADMX refers to, each presentation showing its policy's elements."""

import pathlib
import re
import sys
import xml.etree.ElementTree as ElementTree

SOURCE = pathlib.Path(__file__).resolve().parents[2]
TEMPLATE = SOURCE / "deploy" / "policy"
NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
RULE = re.compile(r'PolicyValueRule k\w+\{"(\w+)",\s*RegistryValueType::k(\w+)'
                  r'(?:,\s*(\d+)u?,\s*(\d+)u?)?\}')
ELEMENT_TYPES = {"decimal": "Dword", "multiText": "MultiString"}


def installer_values():
    """{name: (type, least, most, key, most names)} as the installer reads them."""
    header = (SOURCE / "online-setup" / "src" / "runner" / "admin_policy.h").read_text()
    key = re.search(r'kPolicyKey\[\] = "([^"]+)"', header).group(1).replace("\\\\", "\\")
    most = re.search(r"kMostMirrors = (\d+);", header).group(1)
    return {name: (kind, least, most_value, key, most if kind == "MultiString" else None)
            for name, kind, least, most_value in RULE.findall(header)}


def template_values(admx):
    values = {}
    for policy in admx.iterfind("p:policies/p:policy", NS):
        for element in policy.find("p:elements", NS):
            tag = element.tag.split("}")[1]
            values[element.get("valueName")] = (
                ELEMENT_TYPES.get(tag, tag), element.get("minValue", ""),
                element.get("maxValue", ""), policy.get("key"), element.get("maxStrings"))
    return values


def language_problems(admx, language):
    adml = ElementTree.parse(TEMPLATE / language / "QuarvelOnlineSetup.adml").getroot()
    text = ElementTree.tostring(admx, encoding="unicode")
    problems = []
    for kind, path in (("string", ".//p:stringTable/p:string"),
                       ("presentation", ".//p:presentationTable/p:presentation")):
        held = {entry.get("id") for entry in adml.iterfind(path, NS)}
        wanted = set(re.findall(r"\$\(" + kind + r"\.(\w+)\)", text))
        if held != wanted:
            problems.append(f"{language}: {kind}s {sorted(held ^ wanted)}")
    for policy in admx.iterfind("p:policies/p:policy", NS):
        ids = {element.get("id") for element in policy.find("p:elements", NS)}
        shown = {child.get("refId") for child in adml.iterfind(
            f".//p:presentation[@id='{policy.get('name')}']/*", NS) if child.get("refId")}
        if shown != ids:
            problems.append(f"{language}: {policy.get('name')} shows {sorted(shown)}")
    return problems


def problems():
    admx = ElementTree.parse(TEMPLATE / "QuarvelOnlineSetup.admx").getroot()
    found, expected = template_values(admx), installer_values()
    listed = [] if found == expected else [f"the template has {found}, the installer {expected}"]
    return listed + language_problems(admx, "en-US") + language_problems(admx, "zh-CN")


if __name__ == "__main__":
    found = problems()
    print("\n".join(found) or "the template names exactly the values the installer reads")
    sys.exit(1 if found else 0)
