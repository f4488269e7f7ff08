/** @odoo-module **/
// The bar of the letters A to Z and "#" above the records of list and kanban
// views whose model stores pinyin spells.  A letter filters the view on the
// records' first spell through a facet of the search bar, so it combines
// with the other filters and with grouping, and the user removes it there or
// by clicking the letter again.  When the model's configuration asks for
// letter counts, the bar counts the records of each letter in the current
// search (one grouped count, again when the search changes): letters without
// records are dimmed and do nothing, and each letter tells its count on hover.
// Like the list's pager, the grouped count reads no more records than the
// pager counts, and none once the pager has counted past its limit: in such
// a search, the letters without records are told by a look at each letter's
// first rows, and a letter's own count is asked for when the user hovers
// over it, no further than the pager would count it.

import { Component, onWillUpdateProps, useRef, useState } from "@odoo/owl";
import { Domain } from "@web/core/domain";
import { _t } from "@web/core/l10n/translation";
import { useBus, useService } from "@web/core/utils/hooks";
import { RelationalModel } from "@web/model/relational_model/relational_model";
import { formatInteger } from "@web/views/fields/formatters";

/** The stored field that holds a record's first spell ("Z" for 张三). */
export const FIRST_SPELL_FIELD = "lumq_first_spell";
export const LETTERS = [..."ABCDEFGHIJKLMNOPQRSTUVWXYZ"];
/** The key of the records whose first spell is not a letter, or empty. */
export const OTHER_KEY = "#";
export const KEYS = [...LETTERS, OTHER_KEY];

/**
 * Whether a view shows the navbar: the server marks the root of the arch
 * with spell="lumq_spell" when the model's configuration asks for it, and
 * the model must store the first spell for the filter to work.
 *
 * @param {Element} arch the root element of the view's arch
 * @param {Object} fields the fields of the view's model
 */
export function hasSpellNavbar(arch, fields) {
    return Boolean(
        arch &&
            arch.getAttribute("spell") === "lumq_spell" &&
            fields &&
            FIRST_SPELL_FIELD in fields
    );
}

/**
 * The domain of the records under a key: those whose first spell is the
 * letter, or for "#" those whose first spell is anything else or nothing.
 *
 * @param {string} key a letter of LETTERS or OTHER_KEY
 * @returns {string}
 */
export function keyDomain(key) {
    if (key === OTHER_KEY) {
        return new Domain([
            "|",
            [FIRST_SPELL_FIELD, "=", false],
            [FIRST_SPELL_FIELD, "not in", LETTERS],
        ]).toString();
    }
    return new Domain([[FIRST_SPELL_FIELD, "=", key]]).toString();
}

/**
 * Whether a view's letter bar shows the records' count of each letter: the
 * server marks the root of the arch with spell_letter_counts="1" when the
 * model's configuration asks for it.
 *
 * @param {Element} arch the root element of the view's arch
 */
export function hasLetterCounts(arch) {
    return arch.getAttribute("spell_letter_counts") === "1";
}

export class SpellNavbar extends Component {
    static template = "lumq_spell.SpellNavbar";
    static props = {
        letterCounts: { type: Boolean, optional: true },
        // the most records that the view's pager counts, and so the bar
        countLimit: { type: Number, optional: true },
        // the view's records as last loaded (a new object at each load)
        root: { type: Object, optional: true },
    };

    setup() {
        this.keys = KEYS;
        this.rootRef = useRef("root");
        // the key that Tab reaches when no key is active (roving tab stop);
        // the records' count of each key once counted, else null (a key's
        // count is null while the search has more records than were
        // counted, until the key's own count); the keys with more records
        // than the count limit
        this.state = useState({ focusKey: null, counts: null, overLimit: {} });
        // the facet may change without the navbar: removed from the search
        // bar, or a favorite loaded
        useBus(this.env.searchModel, "update", () => this.render());
        if (this.props.letterCounts) {
            this.orm = useService("orm");
            // the domain last counted (as JSON and as it is), and the number
            // of the last count asked for: an answer to an earlier one comes
            // too late and is dropped
            this.countedDomain = null;
            this.countedDomainList = null;
            this.countRequest = 0;
            // the keys whose own count has been asked for in this search
            this.keysCounting = new Set();
            // not awaited: the bar shows at once, and dims its letters once
            // the count is there; again once the view has loaded the records
            // of another search, whose pager tells how far they go
            this.loadCounts(this.props);
            onWillUpdateProps((next) => {
                if (next.root !== this.props.root) {
                    this.loadCounts(next);
                }
            });
        }
    }

    get countLimit() {
        return this.props.countLimit || RelationalModel.DEFAULT_COUNT_LIMIT;
    }

    get searchModel() {
        return this.env.searchModel;
    }

    /** The search item of a key's filter, once the key has been used. */
    searchItemOf(key) {
        return Object.values(this.searchModel.searchItems).find(
            (item) => item.lumqSpellKey === key
        );
    }

    /** The key whose filter is in the search query, or null. */
    get activeKey() {
        const { query, searchItems } = this.searchModel;
        for (const { searchItemId } of query) {
            const key = searchItems[searchItemId]?.lumqSpellKey;
            if (key) {
                return key;
            }
        }
        return null;
    }

    /**
     * The domain of the search without the letter's own filter: the counts
     * say what each letter would show.
     */
    get domainWithoutKey() {
        const searchModel = this.searchModel;
        const { query, searchItems } = searchModel;
        searchModel.query = query.filter(({ searchItemId }) => !searchItems[searchItemId].lumqSpellKey);
        try {
            return searchModel._getDomain();
        } finally {
            searchModel.query = query;
        }
    }

    /**
     * Count the records of each key in the search, once per domain and
     * what the view's pager knows of it: whether it counted past its limit
     * (the list's own records, ungrouped; with a letter chosen, those of
     * the letter, which are fewer).
     */
    async loadCounts(props) {
        if (!props.letterCounts) {
            return;
        }
        const domain = this.domainWithoutKey;
        const { root } = props;
        const beyond = Boolean(root && !root.isGrouped && root.hasLimitedCount);
        const limit = props.countLimit || RelationalModel.DEFAULT_COUNT_LIMIT;
        const domainKey = JSON.stringify([domain, limit, beyond]);
        if (domainKey === this.countedDomain) {
            return;
        }
        this.countedDomain = domainKey;
        this.countedDomainList = domain;
        this.keysCounting = new Set();
        const request = ++this.countRequest;
        let counts;
        try {
            counts = await this.orm.call(
                this.searchModel.resModel,
                "lumq_spell_letter_counts",
                [domain, limit, beyond],
                { context: this.searchModel.context }
            );
        } catch (error) {
            // the letters stay as they are without counts; the next search
            // counts again
            this.countedDomain = null;
            throw error;
        }
        if (request === this.countRequest) {
            // none for a user who may not read what the letters stand for
            this.state.counts = Object.keys(counts).length ? counts : null;
            this.state.overLimit = {};
        }
    }

    /**
     * Count the records of a key whose count the search's grouped count did
     * not tell (the user hovers over it, or reaches it by keyboard), as far
     * as the pager would count them; then show the count at once where the
     * pointer still is on the key.
     */
    async countKey(key, ev) {
        const { counts } = this.state;
        if (!counts || counts[key] !== null || this.keysCounting.has(key)) {
            return;
        }
        this.keysCounting.add(key);
        const request = this.countRequest;
        const domain = Domain.and([this.countedDomainList, keyDomain(key)]).toList();
        let count;
        try {
            count = await this.orm.searchCount(this.searchModel.resModel, domain, {
                limit: this.countLimit + 1,
                context: this.searchModel.context,
            });
        } catch (error) {
            // the next hover asks again
            this.keysCounting.delete(key);
            throw error;
        }
        if (request !== this.countRequest) {
            return;
        }
        this.state.counts[key] = Math.min(count, this.countLimit);
        this.state.overLimit[key] = count > this.countLimit;
        const button = ev?.type === "mouseenter" ? ev.currentTarget : null;
        if (button?.matches(":hover")) {
            // the tooltip took its text when the pointer came: open it anew
            // once the text is rendered
            requestAnimationFrame(() =>
                requestAnimationFrame(() => button.dispatchEvent(new MouseEvent("mouseenter")))
            );
        }
    }

    /** The count that a key's button carries once known. */
    countOf(key) {
        const count = this.state.counts?.[key];
        return typeof count === "number" ? count : undefined;
    }

    /** Whether a key is dimmed: counted without records, and not active
     * (the active key stays clickable, to show all records again). */
    isEmpty(key) {
        const { counts } = this.state;
        return Boolean(counts) && counts[key] === 0 && key !== this.activeKey;
    }

    /** The one key reached by Tab: the active one, else the last focused. */
    get tabStop() {
        return this.activeKey || this.state.focusKey || this.keys[0];
    }

    get toolbarLabel() {
        return _t("Filter by first letter");
    }

    titleOf(key) {
        const title =
            key === OTHER_KEY
                ? _t("First letter is not A to Z: digits, symbols or none")
                : _t("First letter %s", key);
        const { counts } = this.state;
        if (!counts) {
            return title;
        }
        const count = counts[key];
        if (count === null) {
            return _t("%(title)s: counting…", { title });
        }
        if (this.state.overLimit[key]) {
            return _t("%(title)s: more than %(count)s records", {
                title,
                count: formatInteger(count),
            });
        }
        if (count === 0) {
            return _t("%(title)s: no record in this search", { title });
        }
        if (count === 1) {
            return _t("%(title)s: 1 record", { title });
        }
        return _t("%(title)s: %(count)s records", { title, count: formatInteger(count) });
    }

    /**
     * Show the records under ``key``, or all records again when ``key`` is
     * the active one.  One letter at a time: another active letter's facet
     * goes.
     */
    onClick(key) {
        if (this.isEmpty(key)) {
            return;
        }
        const active = this.activeKey;
        if (active === key) {
            this.searchModel.deactivateGroup(this.searchItemOf(key).groupId);
            return;
        }
        const item = this.searchItemOf(key);
        if (item) {
            this.searchModel.toggleSearchItem(item.id);
        } else {
            // invisible: the filter shows as a facet, not in the Filters menu
            this.searchModel.createNewFilters([
                {
                    description: key === OTHER_KEY ? _t("First letter: other") : _t("First letter: %s", key),
                    domain: keyDomain(key),
                    invisible: "True",
                    lumqSpellKey: key,
                },
            ]);
        }
        if (active) {
            this.searchModel.deactivateGroup(this.searchItemOf(active).groupId);
        }
    }

    /** Arrow keys, Home and End move between the keys (Enter and Space are
     * the buttons' own). */
    onKeydown(ev) {
        const index = this.keys.indexOf(ev.target.dataset.key);
        if (index < 0) {
            return;
        }
        const last = this.keys.length - 1;
        const moves = {
            ArrowRight: index === last ? 0 : index + 1,
            ArrowDown: index === last ? 0 : index + 1,
            ArrowLeft: index === 0 ? last : index - 1,
            ArrowUp: index === 0 ? last : index - 1,
            Home: 0,
            End: last,
        };
        if (!(ev.key in moves) || ev.altKey || ev.ctrlKey || ev.metaKey || ev.shiftKey) {
            return;
        }
        ev.preventDefault();
        ev.stopPropagation();
        const key = this.keys[moves[ev.key]];
        this.state.focusKey = key;
        this.rootRef.el.querySelector(`[data-key="${key}"]`).focus();
    }
}
