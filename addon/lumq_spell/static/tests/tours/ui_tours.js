/** @odoo-module **/
// Tours of the configuration screens and of the letter bar, run by
// addon/lumq_spell/tests/test_ui_tours.py.  A step that logs
// "lumq_spell screenshot: NAME" has the test save a screenshot; the test marks
// the body with data-lumq-spell-shot="NAME" once it is saved.
import { registry } from "@web/core/registry";
import { stepUtils } from "@web_tour/tour_service/tour_utils";

function screenshot(name) {
    return [
        {
            content: `Take the screenshot ${name}`,
            trigger: "body",
            run() {
                console.log(`lumq_spell screenshot: ${name}`);
            },
        },
        {
            content: `The screenshot ${name} is saved`,
            trigger: `body[data-lumq-spell-shot="${name}"]`,
            run() {},
        },
    ];
}

/** The names shown by the rows of a list view, in order. */
function listNames() {
    return [...document.querySelectorAll(".o_list_view .o_data_row")].map((row) =>
        row.querySelector("[name=complete_name], [name=display_name], [name=name]").textContent.trim()
    );
}

function assertSameNames(actual, expected, what) {
    const sorted = (names) => [...names].sort().join(", ");
    if (sorted(actual) !== sorted(expected)) {
        throw new Error(`${what}: the list shows [${sorted(actual)}], not [${sorted(expected)}]`);
    }
}

const Z_NAMES = ["张三", "赵六", "Zoe Ward"];

/**
 * Close the autocomplete drop-downs until none has opened for a while.  A
 * many2one's search answers after a delay: under load, one typed before the
 * field was left opens its drop-down again afterwards.  A pointer press
 * outside closes it, as a click elsewhere does.
 */
async function closeLateDropdowns() {
    const quietChecks = 5; // 200 ms apart: longer than the autocomplete's delay
    for (let check = 0, quiet = 0; quiet < quietChecks; check++) {
        if (check >= 100) {
            throw new Error("an autocomplete drop-down keeps opening");
        }
        if (document.querySelector(".o-autocomplete--dropdown-menu")) {
            document.body.dispatchEvent(
                new PointerEvent("pointerdown", { bubbles: true, cancelable: true })
            );
            quiet = 0;
        } else {
            quiet++;
        }
        await new Promise((resolve) => setTimeout(resolve, 200));
    }
}

function openConfigurationMenu() {
    return [
        ...stepUtils.goToAppSteps("base.menu_administration", "Open the Settings app"),
        {
            content: "Open the Technical menu",
            trigger: '.o_menu_sections [data-menu-xmlid="base.menu_custom"]',
        },
        {
            content: "Open the pinyin search configurations",
            trigger: '.o_menu_sections .dropdown-item[data-menu-xmlid="lumq_spell.lumq_spell_config_menu"]',
        },
        {
            content: "The list of configurations is shown",
            trigger: ".o_list_view .o_list_button_add",
            run() {},
        },
    ];
}

registry.category("web_tour.tours").add("lumq_spell_enable_from_menu", {
    test: true,
    url: "/web?debug=1",
    steps: () => [
        ...openConfigurationMenu(),
        {
            content: "Create a configuration",
            trigger: ".o_list_view .o_list_button_add",
        },
        {
            content: "The form explains what enabling does and costs",
            trigger: ".o_form_view .o_lumq_spell_help:contains(records per second)",
            run() {},
        },
        {
            content: "Type the model's name",
            trigger: ".o_field_widget[name=model_id] input",
            run: "text Contact",
        },
        {
            content: "Choose the model Contact",
            trigger: ".o_field_widget[name=model_id] .o-autocomplete--dropdown-item a:contains(Contact)",
            run() {
                const items = [
                    ...document.querySelectorAll(
                        ".o_field_widget[name=model_id] .o-autocomplete--dropdown-item"
                    ),
                ];
                const contact = items.find((item) => item.textContent.trim() === "Contact");
                if (!contact) {
                    throw new Error(
                        `no model named Contact among ${items.map((i) => i.textContent.trim())}`
                    );
                }
                contact.click();
            },
        },
        {
            content: "The model is chosen",
            trigger: ".o_field_widget[name=model_id] input:propValue(Contact)",
            run() {},
        },
        {
            content: "Save",
            trigger: ".o_form_button_save",
        },
        {
            content: "The configuration is saved and counts the contacts",
            trigger: ".o_form_view .o_form_saved .o_field_widget[name=record_count]",
            extra_trigger: ".o_breadcrumb .active:contains(Contact)",
            run() {
                const count = Number(
                    document.querySelector(".o_field_widget[name=record_count]").textContent.trim()
                );
                if (!(count >= 3)) {
                    throw new Error(`the configuration counts ${count} contacts`);
                }
            },
        },
        {
            content: "Leave the model field, so that no drop-down covers the form",
            trigger: ".o_form_view .o_form_saved",
            run() {
                document.activeElement?.blur();
            },
        },
        {
            content: "Close a drop-down that a late result of the model's search opens again",
            trigger: ".o_form_view .o_form_saved",
            run: closeLateDropdowns,
        },
        {
            content: "No drop-down is open",
            trigger: "body:not(:has(.o-autocomplete--dropdown-menu))",
            run() {},
        },
        ...screenshot("config_form_saved"),
        {
            content: "Back to the list of configurations",
            trigger: ".o_breadcrumb li.o_back_button a",
        },
        {
            content: "The list shows Contact with its record count",
            trigger: ".o_list_view .o_data_row:contains(Contact) [name=record_count]",
            run() {},
        },
        ...screenshot("config_list"),
        ...stepUtils.goToAppSteps("contacts.menu_contacts", "Open Contacts"),
        {
            content: "Wait for the contacts",
            trigger: ".o_kanban_view .o_kanban_record:contains(张三)",
            run() {},
        },
        {
            content: "Type zs into the search",
            trigger: ".o_searchview_input",
            run: "text zs",
        },
        {
            content: "Search the contacts' names for it",
            trigger: ".o_searchview_autocomplete .o_menu_item:first",
        },
        {
            content: "Contacts shows 张三 and no one else",
            trigger:
                ".o_kanban_view:not(:has(.o_kanban_record:not(.o_kanban_ghost):not(:contains(张三)))) .o_kanban_record:contains(张三)",
            run() {
                const cards = document.querySelectorAll(
                    ".o_kanban_view .o_kanban_record:not(.o_kanban_ghost)"
                );
                if (cards.length !== 1) {
                    throw new Error(`typing zs shows ${cards.length} contacts, not 张三 alone`);
                }
            },
        },
        ...screenshot("contacts_search_zs"),
    ],
});

registry.category("web_tour.tours").add("lumq_spell_letter_bar", {
    test: true,
    url: "/web#action=contacts.action_contacts&view_type=list",
    steps: () => [
        {
            content: "The list shows the letter bar above the contacts",
            trigger: ".o_list_view .o_lumq_spell_navbar [data-key=Z]",
            extra_trigger: ".o_list_view .o_data_row:contains(李四)",
            run() {
                const keys = [
                    ...document.querySelectorAll(".o_lumq_spell_navbar .o_lumq_spell_key"),
                ].map((button) => button.textContent.trim());
                if (keys.join("") !== "ABCDEFGHIJKLMNOPQRSTUVWXYZ#") {
                    throw new Error(`the letter bar shows ${keys.join(" ")}`);
                }
            },
        },
        {
            content: "Click Z",
            trigger: ".o_lumq_spell_navbar [data-key=Z]",
        },
        {
            content: "Z is highlighted and a facet shows the filter",
            trigger: '.o_lumq_spell_navbar [data-key=Z].active[aria-pressed="true"]',
            extra_trigger: ".o_searchview_facet:contains(Z)",
            run() {},
        },
        {
            content: "The list shows the contacts whose first spell is Z, and only them",
            trigger: ".o_list_view:not(:has(.o_data_row:contains(李四))) .o_data_row:contains(赵六)",
            run() {
                assertSameNames(listNames(), Z_NAMES, "letter Z");
            },
        },
        ...screenshot("contacts_letter_z"),
        {
            content: "Arrow keys move between the letters",
            trigger: ".o_lumq_spell_navbar [data-key=Z]",
            run() {
                const bar = document.querySelector(".o_lumq_spell_navbar");
                const z = bar.querySelector("[data-key=Z]");
                if (z.getAttribute("tabindex") !== "0") {
                    throw new Error("the active letter is not the bar's tab stop");
                }
                z.focus();
                const press = (key) =>
                    document.activeElement.dispatchEvent(
                        new KeyboardEvent("keydown", { key, bubbles: true, cancelable: true })
                    );
                press("ArrowRight");
                if (document.activeElement.dataset.key !== "#") {
                    throw new Error(`ArrowRight from Z focuses ${document.activeElement.dataset.key}`);
                }
                press("ArrowRight");
                press("ArrowLeft");
                press("ArrowLeft");
                if (document.activeElement.dataset.key !== "Z") {
                    throw new Error(`arrows back to Z focus ${document.activeElement.dataset.key}`);
                }
                press("Home");
                if (document.activeElement.dataset.key !== "A") {
                    throw new Error(`Home focuses ${document.activeElement.dataset.key}`);
                }
                press("End");
                if (document.activeElement.dataset.key !== "#") {
                    throw new Error(`End focuses ${document.activeElement.dataset.key}`);
                }
            },
        },
        {
            content: "Click # for the contacts whose first spell is not a letter",
            trigger: ".o_lumq_spell_navbar [data-key='#']",
        },
        {
            content: "# replaces Z: one facet, one highlighted key",
            trigger: ".o_lumq_spell_navbar [data-key='#'].active",
            extra_trigger: ".o_list_view .o_data_row:contains(1号仓库)",
            run() {
                if (document.querySelectorAll(".o_lumq_spell_navbar .active").length !== 1) {
                    throw new Error("more than one key is highlighted");
                }
                const facets = [...document.querySelectorAll(".o_searchview_facet")].map((f) =>
                    f.textContent.trim()
                );
                if (facets.length !== 1) {
                    throw new Error(`the search shows the facets ${facets.join(" | ")}`);
                }
                assertSameNames(listNames(), ["1号仓库"], "key #");
            },
        },
        {
            content: "Click # again: the filter goes",
            trigger: ".o_lumq_spell_navbar [data-key='#'].active",
        },
        {
            content: "Every contact is listed again and no key is highlighted",
            trigger: ".o_list_view .o_data_row:contains(李四)",
            extra_trigger: ".o_lumq_spell_navbar:not(:has(.active))",
            run() {
                if (document.querySelector(".o_searchview_facet")) {
                    throw new Error("a facet is left in the search");
                }
            },
        },
        {
            content: "Search the names for 三 as well",
            trigger: ".o_searchview_input",
            run: "text 三",
        },
        {
            content: "Search the contacts' names for it",
            trigger: ".o_searchview_autocomplete .o_menu_item:first",
        },
        {
            content: "Click Z again",
            trigger: ".o_lumq_spell_navbar [data-key=Z]",
            extra_trigger: ".o_searchview_facet:contains(三)",
        },
        {
            content: "The letter combines with the search: 张三 alone",
            trigger: ".o_list_view:not(:has(.o_data_row:contains(赵六))) .o_data_row:contains(张三)",
            extra_trigger: ".o_lumq_spell_navbar [data-key=Z].active",
            run() {
                assertSameNames(listNames(), ["张三"], "letter Z and 三");
            },
        },
        {
            content: "Remove the name search's facet",
            trigger: ".o_searchview_facet:contains(三) .o_facet_remove",
        },
        {
            content: "The letter filter stays",
            trigger: ".o_list_view .o_data_row:contains(Zoe Ward)",
            extra_trigger: ".o_lumq_spell_navbar [data-key=Z].active",
            run() {
                assertSameNames(listNames(), Z_NAMES, "letter Z after removing 三");
            },
        },
        {
            content: "Switch to the kanban view",
            trigger: ".o_switch_view.o_kanban",
        },
        {
            content: "The kanban shows the bar with Z active and the Z contacts only",
            trigger: ".o_kanban_view .o_lumq_spell_navbar [data-key=Z].active",
            extra_trigger: ".o_kanban_view .o_kanban_record:contains(Zoe Ward)",
            run() {
                const names = [
                    ...document.querySelectorAll(".o_kanban_record:not(.o_kanban_ghost)"),
                ].map((card) => card.querySelector(".o_kanban_record_title, [name=display_name]")?.textContent.trim());
                assertSameNames(names, Z_NAMES, "kanban, letter Z");
            },
        },
        ...screenshot("contacts_kanban_letter_z"),
        {
            content: "Remove the letter's facet from the search bar",
            trigger: ".o_searchview_facet .o_facet_remove",
        },
        {
            content: "No key is highlighted any more",
            trigger: ".o_kanban_view .o_lumq_spell_navbar:not(:has(.active))",
            extra_trigger: ".o_kanban_view .o_kanban_record:contains(李四)",
            run() {},
        },
    ],
});

/** The letter bar's button of a key. */
function keyButton(key) {
    return document.querySelector(`.o_lumq_spell_navbar [data-key="${key}"]`);
}

function assertTitle(key, words) {
    const title = keyButton(key).getAttribute("title");
    if (!title.includes(words)) {
        throw new Error(`the title of ${key} reads "${title}", without "${words}"`);
    }
}

registry.category("web_tour.tours").add("lumq_spell_letter_counts", {
    test: true,
    url: "/web#action=contacts.action_contacts&view_type=list",
    steps: () => [
        {
            content: "The bar has counted the letters: Z has two contacts, Q none",
            trigger: '.o_list_view .o_lumq_spell_navbar [data-key=Z][data-count="2"]',
            extra_trigger: ".o_list_view .o_data_row:contains(李四)",
            run() {
                const q = keyButton("Q");
                if (!q.classList.contains("o_lumq_spell_key_empty") ||
                        q.getAttribute("aria-disabled") !== "true") {
                    throw new Error("Q, which no contact has, is not dimmed");
                }
                for (const key of ["Z", "L", "W", "#"]) {
                    if (keyButton(key).classList.contains("o_lumq_spell_key_empty")) {
                        throw new Error(`${key}, which contacts have, is dimmed`);
                    }
                }
                assertTitle("Z", "2 records");
                assertTitle("Q", "no record");
                assertTitle("L", "1 record");
            },
        },
        {
            content: "Hover over Z: its count shows",
            trigger: ".o_lumq_spell_navbar [data-key=Z]",
            run() {
                this.$anchor[0].dispatchEvent(new MouseEvent("mouseenter"));
            },
        },
        {
            content: "The tooltip tells the count of Z",
            trigger: ".o-tooltip:contains(2 records)",
            run() {},
        },
        ...screenshot("contacts_letter_counts"),
        {
            content: "Click the dimmed Q",
            trigger: ".o_lumq_spell_navbar [data-key=Q].o_lumq_spell_key_empty",
        },
        {
            content: "Nothing happens: no filter, every contact still listed",
            trigger: ".o_lumq_spell_navbar:not(:has(.active))",
            async run() {
                // a filter would show within a render or two
                await new Promise((resolve) => setTimeout(resolve, 500));
                if (document.querySelector(".o_searchview_facet, .o_lumq_spell_navbar .active")) {
                    throw new Error("clicking a dimmed letter filtered the list");
                }
                if (!listNames().includes("李四")) {
                    throw new Error("clicking a dimmed letter changed the list");
                }
            },
        },
        {
            content: "Search the names for 李",
            trigger: ".o_searchview_input",
            run: "text 李",
        },
        {
            content: "Search the contacts' names for it",
            trigger: ".o_searchview_autocomplete .o_menu_item:first",
        },
        {
            content: "The counts follow the search: L has 李四, Z has no contact now",
            trigger: ".o_lumq_spell_navbar [data-key=Z].o_lumq_spell_key_empty",
            extra_trigger: '.o_lumq_spell_navbar [data-key=L][data-count="1"]',
            run() {
                assertTitle("Z", "no record");
            },
        },
        {
            content: "Click L",
            trigger: ".o_lumq_spell_navbar [data-key=L]",
        },
        {
            content: "L filters the list and keeps its count",
            trigger: '.o_lumq_spell_navbar [data-key=L].active[data-count="1"]',
            extra_trigger: ".o_searchview_facet:contains(L)",
            run() {
                assertSameNames(listNames(), ["李四"], "letter L and 李");
            },
        },
    ],
});

// The contacts list shows 2 and counts 3 records at most here: the bar counts no
// further, and asks for a letter's own count when the pointer rests on it.
registry.category("web_tour.tours").add("lumq_spell_letter_counts_beyond_the_pager", {
    test: true,
    url: "/web#action=contacts.action_contacts&view_type=list",
    steps: () => [
        {
            content: "Past the pager's count, Q (no contact) is dimmed and Z is not counted yet",
            trigger: ".o_list_view .o_lumq_spell_navbar [data-key=Q].o_lumq_spell_key_empty",
            extra_trigger: ".o_list_view .o_data_row:nth-child(2)",
            run() {
                const z = keyButton("Z");
                if (z.classList.contains("o_lumq_spell_key_empty") || z.hasAttribute("data-count")) {
                    throw new Error("Z, which two contacts have, is dimmed or already counted");
                }
                assertTitle("Z", "counting");
            },
        },
        {
            content: "Hover over Z",
            trigger: ".o_lumq_spell_navbar [data-key=Z]",
            run() {
                this.$anchor[0].dispatchEvent(new MouseEvent("mouseenter"));
            },
        },
        {
            content: "Z has its own count now, which its tooltip tells",
            trigger: '.o_lumq_spell_navbar [data-key=Z][data-count="2"]',
            run() {
                // (the tooltip, once open, has taken the title away)
                const tooltip = keyButton("Z").dataset.tooltip;
                if (!tooltip.includes("2 records")) {
                    throw new Error(`the tooltip of Z reads "${tooltip}", without "2 records"`);
                }
            },
        },
    ],
});

registry.category("web_tour.tours").add("lumq_spell_enabling_in_background", {
    test: true,
    url: "/web?debug=1",
    steps: () => [
        ...openConfigurationMenu(),
        {
            content: "The list shows that the contacts' spells are being computed",
            trigger: ".o_list_view .o_data_row:contains(Contact) [name=spell_state]:contains(Computing)",
            extra_trigger: ".o_list_view .o_data_row:contains(Contact) [name=spell_progress] .o_progressbar",
            run() {},
        },
        ...screenshot("config_list_computing"),
        {
            content: "Open the configuration of the contacts",
            trigger: ".o_list_view .o_data_row:contains(Contact) td[name=model_id]",
        },
        {
            content: "The form says how far the computation is and when it will be done",
            trigger: ".o_form_view .o_lumq_spell_progress:contains(records, done in about)",
            extra_trigger: ".o_form_view .o_lumq_spell_progress .o_progressbar",
            run() {},
        },
        ...screenshot("config_form_computing"),
        {
            content: "Read where it stands now",
            trigger: ".o_form_view button[name=action_refresh_spell_progress]",
        },
        {
            content: "The form is shown again",
            trigger: ".o_form_view .o_form_saved .o_lumq_spell_progress",
            run() {},
        },
    ],
});

registry.category("web_tour.tours").add("lumq_spell_screens_in_chinese", {
    test: true,
    url: "/web?debug=1",
    steps: () => [
        ...stepUtils.goToAppSteps("base.menu_administration", "打开设置"),
        {
            content: "Open the Technical menu",
            trigger: '.o_menu_sections [data-menu-xmlid="base.menu_custom"]',
        },
        {
            content: "The menu reads 拼音搜索",
            trigger:
                '.o_menu_sections .dropdown-item[data-menu-xmlid="lumq_spell.lumq_spell_config_menu"]:contains(拼音搜索)',
        },
        {
            content: "The list's breadcrumb and columns are in Chinese",
            trigger: ".o_breadcrumb .active:contains(拼音搜索)",
            extra_trigger: ".o_list_view th:contains(记录数)",
            run() {},
        },
        {
            content: "Create a configuration",
            trigger: ".o_list_view .o_list_button_add",
        },
        {
            content: "The form's labels and help are in Chinese",
            trigger: ".o_form_view .o_lumq_spell_help:contains(启用后)",
            extra_trigger: ".o_form_view .o_form_label:contains(源字段)",
            run() {
                const text = document.querySelector(".o_form_view").textContent;
                for (const words of ["模型", "显示字母导航栏", "每秒"]) {
                    if (!text.includes(words)) {
                        throw new Error(`the form does not read ${words}`);
                    }
                }
            },
        },
        ...screenshot("config_form_zh_CN"),
        {
            content: "Leave the new record",
            trigger: ".o_form_button_cancel",
        },
        {
            content: "Back on the list",
            trigger: ".o_list_view .o_list_button_add",
            run() {},
        },
    ],
});

// as a phone's address book lists them: Bob among the others by its letters
const PINYIN_ORDER = ["阿明", "Bob", "陈七", "李四", "王五", "张三", "赵六", "周八"];

function assertPinyinOrder(names, what) {
    const shown = names.filter((name) => PINYIN_ORDER.includes(name));
    if (shown.join(", ") !== PINYIN_ORDER.join(", ")) {
        throw new Error(`${what} lists [${shown.join(", ")}], not [${PINYIN_ORDER.join(", ")}]`);
    }
}

registry.category("web_tour.tours").add("lumq_spell_pinyin_order", {
    test: true,
    url: "/web#action=contacts.action_contacts&view_type=list",
    steps: () => [
        {
            content: "The contacts list shows the contacts in pinyin order",
            trigger: ".o_list_view .o_data_row:contains(周八)",
            extra_trigger: ".o_list_view .o_data_row:contains(阿明)",
            run() {
                assertPinyinOrder(listNames(), "the list");
            },
        },
        ...screenshot("contacts_pinyin_order"),
        {
            content: "Switch to the kanban view",
            trigger: ".o_switch_view.o_kanban",
        },
        {
            content: "The kanban view shows them in the same order",
            trigger: ".o_kanban_view .o_kanban_record:contains(周八)",
            run() {
                const names = [
                    ...document.querySelectorAll(".o_kanban_record:not(.o_kanban_ghost)"),
                ].map((card) =>
                    card.querySelector(".o_kanban_record_title, [name=display_name]")?.textContent.trim()
                );
                assertPinyinOrder(names, "the kanban view");
            },
        },
    ],
});

registry.category("web_tour.tours").add("lumq_spell_fuzzy_pinyin", {
    test: true,
    url: "/web?debug=1",
    steps: () => [
        ...openConfigurationMenu(),
        {
            content: "Open the configuration of Contact",
            trigger: ".o_list_view .o_data_row:contains(Contact) td.o_data_cell",
        },
        {
            content: "Switch fuzzy pinyin on",
            trigger: ".o_form_view .o_field_widget[name=fuzzy_pinyin] input",
        },
        {
            content: "The form offers the pairs, all chosen",
            trigger: ".o_lumq_spell_fuzzy_pairs .o_field_widget[name=fuzzy_ng] input:checked",
            run() {
                const unchecked = document.querySelectorAll(
                    ".o_lumq_spell_fuzzy_pairs .o_field_widget input:not(:checked)"
                );
                if (unchecked.length) {
                    throw new Error(`${unchecked.length} pairs of fuzzy pinyin are not chosen`);
                }
                // the option and its pairs in the middle of the screenshot
                document
                    .querySelector(".o_lumq_spell_fuzzy_pairs")
                    .scrollIntoView({ block: "center" });
            },
        },
        ...screenshot("config_form_fuzzy"),
        {
            content: "Save",
            trigger: ".o_form_button_save",
        },
        {
            content: "The configuration is saved",
            trigger: ".o_form_view .o_form_saved",
            run() {},
        },
        ...stepUtils.goToAppSteps("contacts.menu_contacts", "Open Contacts"),
        {
            content: "Wait for the contacts",
            trigger: ".o_kanban_view .o_kanban_record:contains(李四)",
            run() {},
        },
        {
            content: "Type nisi, as people who do not tell n from l say 李四",
            trigger: ".o_searchview_input",
            run: "text nisi",
        },
        {
            content: "Search the contacts' names for it",
            trigger: ".o_searchview_autocomplete .o_menu_item:first",
        },
        {
            content: "Contacts shows 李四 and no one else",
            trigger:
                ".o_kanban_view:not(:has(.o_kanban_record:not(.o_kanban_ghost):not(:contains(李四)))) .o_kanban_record:contains(李四)",
            run() {
                const cards = document.querySelectorAll(
                    ".o_kanban_view .o_kanban_record:not(.o_kanban_ghost)"
                );
                if (cards.length !== 1) {
                    throw new Error(`typing nisi shows ${cards.length} contacts, not 李四 alone`);
                }
            },
        },
        ...screenshot("contacts_fuzzy_search"),
    ],
});
