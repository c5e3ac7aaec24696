"""Checks the administrative template (deploy/policy) against the installer:
the ADMX names exactly the values the installer reads (runner/admin_policy.h),
each under the installer's key, as the registry type and within the range the
installer accepts, and both language files (en-US, zh-CN) hold every text and
presentation the ADMX refers to, and nothing else."""

import pathlib
import re
import sys
import xml.etree.ElementTree as ElementTree

SOURCE = pathlib.Path(__file__).resolve().parents[2]
TEMPLATE = SOURCE / "deploy" / "policy"
NAMESPACE = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
POLICY_HEADER = SOURCE / "online-setup" / "src" / "runner" / "admin_policy.h"
RULE = re.compile(r'PolicyValueRule k\w+\{"(\w+)",\s*RegistryValueType::k(\w+)'
                  r'(?:,\s*(\d+)u?,\s*(\d+)u?)?\}')
ELEMENT_TYPES = {"decimal": "Dword", "multiText": "MultiString"}
LANGUAGES = ("en-US", "zh-CN")


def installer_values():
    """{name: (type, least, most)} and the key, as the installer's header has them."""
    header = POLICY_HEADER.read_text(encoding="utf-8")
    values = {name: (kind, least, most) for name, kind, least, most in RULE.findall(header)}
    key = re.search(r'kPolicyKey\[\] = "([^"]+)"', header).group(1).replace("\\\\", "\\")
    most_mirrors = re.search(r"kMostMirrors = (\d+);", header).group(1)
    return values, key, most_mirrors


def template_values(admx):
    """{name: (type, least, most)}, the keys and the host lists' limits of the ADMX."""
    values, keys, limits = {}, set(), set()
    for policy in admx.iterfind("p:policies/p:policy", NAMESPACE):
        keys.add(policy.get("key"))
        for element in policy.find("p:elements", NAMESPACE):
            tag = element.tag.split("}")[1]
            values[element.get("valueName")] = (ELEMENT_TYPES.get(tag, tag),
                                                element.get("minValue", ""),
                                                element.get("maxValue", ""))
            if tag == "multiText":
                limits.add(element.get("maxStrings"))
    return values, keys, limits


def references(admx, kind):
    """The ids the ADMX refers to as $(kind.ID)."""
    text = ElementTree.tostring(admx, encoding="unicode")
    return set(re.findall(r"\$\(" + kind + r"\.(\w+)\)", text))


def language_problems(admx, language):
    adml = ElementTree.parse(TEMPLATE / language / "QuarvelOnlineSetup.adml").getroot()
    strings = {s.get("id") for s in adml.iterfind(".//p:stringTable/p:string", NAMESPACE)}
    presentations = {p.get("id"): p for p in adml.iterfind(".//p:presentationTable/p:presentation",
                                                           NAMESPACE)}
    problems = []
    if strings != references(admx, "string"):
        problems.append(f"{language}: strings {sorted(strings ^ references(admx, 'string'))}")
    if set(presentations) != references(admx, "presentation"):
        problems.append(f"{language}: presentations "
                        f"{sorted(set(presentations) ^ references(admx, 'presentation'))}")
    for policy in admx.iterfind("p:policies/p:policy", NAMESPACE):
        ids = {element.get("id") for element in policy.find("p:elements", NAMESPACE)}
        presentation = presentations.get(policy.get("name"))
        shown = {child.get("refId") for child in presentation if child.get("refId")} \
            if presentation is not None else set()
        if shown != ids:
            problems.append(f"{language}: {policy.get('name')} shows {sorted(shown)}, not {sorted(ids)}")
    return problems


def problems():
    admx = ElementTree.parse(TEMPLATE / "QuarvelOnlineSetup.admx").getroot()
    expected, key, most_mirrors = installer_values()
    found, keys, limits = template_values(admx)
    found_problems = []
    if found != expected:
        found_problems.append(f"the template names {found}, the installer reads {expected}")
    if keys != {key}:
        found_problems.append(f"the template's keys {keys}, the installer's {key}")
    if limits != {most_mirrors}:
        found_problems.append(f"host lists of at most {limits} names, the installer takes {most_mirrors}")
    for language in LANGUAGES:
        found_problems += language_problems(admx, language)
    return found_problems


if __name__ == "__main__":
    found = problems()
    print("\n".join(found) or "the template names exactly the values the installer reads")
    sys.exit(1 if found else 0)
